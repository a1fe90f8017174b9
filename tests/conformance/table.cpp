// table.cpp: the conformance rows: what Windows 9x answers, and Wine where it answers otherwise.
#include "conformance.h"
#include "platform/textmode.h"

namespace qvl::conformance {

namespace {

constexpr RegKey HKCR = kHkeyClassesRoot;
constexpr RegKey HKCU = kHkeyCurrentUser;
constexpr RegKey HKLM = kHkeyLocalMachine;
constexpr RegKey HKU = kHkeyUsers;

const std::string kConf = "HKEY_LOCAL_MACHINE\\Software\\QvlConf";
const std::string kDir = "C:\\QvlConf";

Value Sz(std::string name, const std::string& text) {
    return Value{std::move(name), 1, text + std::string(1, '\0')};
}
Value Raw(std::string name, WinDword type, std::string bytes) {
    return Value{std::move(name), type, std::move(bytes)};
}
std::string Z(const std::string& text) { // text and its terminating zero
    return text + std::string(1, '\0');
}
std::string Fill(std::size_t n) { // buffer bytes the call left alone
    return std::string(n, '?');
}
Expect Read(long result, WinDword type, WinDword size, std::string buffer) {
    Expect e = Gives(result, std::move(buffer));
    e.type = type;
    e.size = size;
    return e;
}
// A value too large for the buffer: Windows documents the buffer's bytes as undefined
// then, so only the result, the type and the size it needs are looked at.
Expect TooLarge(WinDword type, WinDword size) {
    Expect e = Gives(kErrorMoreData);
    e.type = type;
    e.size = size;
    return e;
}

const char* const kUserHive =
    "Wine keeps a user hive of its own, as NT does: HKEY_CURRENT_USER is HKEY_USERS\\S-1-5-21-..."
    ", not HKEY_USERS\\.DEFAULT as on Windows 9x without user profiles";

std::vector<Row> MakeRows() {
    std::vector<Row> rows;

    // Registry: open and query.
    rows.push_back(Row{
        "ValueSizesAroundTheBuffer",
        Before().Key(kConf + "\\Sizes",
                     {Sz("s259", std::string(258, 'x')), Sz("s260", std::string(259, 'y')),
                      Sz("s261", std::string(260, 'z'))}),
        {
            RegQuery(HKLM, "Software\\QvlConf\\Sizes", "s259", 260)
                .Is(Read(0, 1, 259, Z(std::string(258, 'x')) + Fill(1))),
            RegQuery(HKLM, "Software\\QvlConf\\Sizes", "s260", 260)
                .Is(Read(0, 1, 260, Z(std::string(259, 'y')))),
            RegQuery(HKLM, "Software\\QvlConf\\Sizes", "s261", 260).Is(TooLarge(1, 261)),
            RegQuery(HKLM, "Software\\QvlConf\\Sizes", "s259", 4).Is(TooLarge(1, 259)),
        },
        After(),
    });
    rows.push_back(Row{
        "ValueTypesAndMissingValues",
        Before().Key(kConf + "\\Types",
                     {Raw("nozero", 1, "abc"), Raw("bin", 3, std::string("\x00\x01\xFF", 3)),
                      Sz("", "default")}),
        {
            RegQuery(HKLM, "Software\\QvlConf\\Types", "nozero", 8)
                .Is(Read(0, 1, 3, "abc" + Fill(5)))
                .OnWine(Read(0, 1, 4, Z("abc") + Fill(4))),
            RegQuery(HKLM, "Software\\QvlConf\\Types", "bin", 8)
                .Is(Read(0, 3, 3, std::string("\x00\x01\xFF", 3) + Fill(5))),
            RegQuery(HKLM, "Software\\QvlConf\\Types", "", 8).Is(Read(0, 1, 8, Z("default"))),
            RegQuery(HKLM, "Software\\QvlConf\\Types", std::nullopt, 8)
                .Is(Read(0, 1, 8, Z("default"))),
            RegQuery(HKLM, "Software\\QvlConf\\Types", "missing", 8)
                .Is(Gives(kErrorFileNotFound, Fill(8))),
            RegOpen(HKLM, "Software\\QvlConf\\NoSuchKey").Is(Gives(kErrorFileNotFound)),
        },
        After(),
        std::nullopt,
        "Wine's RegSetValueExA adds the zero that a REG_SZ lacks, as NT does, so the seeded "
        "value comes back one byte longer",
    });

    // Registry: deleting subtrees.
    rows.push_back(Row{
        "DeleteKeyWithoutSubkeys",
        Before().Key(kConf + "\\Leaf", {Sz("v", "1")}),
        {
            RegDelete(HKLM, "Software\\QvlConf\\Leaf").Is(Gives(0)),
            RegDelete(HKLM, "Software\\QvlConf\\Leaf").Is(Gives(kErrorFileNotFound)),
        },
        After().Keys({kConf}).NoKeys({kConf + "\\Leaf"}),
    });
    rows.push_back(Row{
        "DeleteKeyWithOneSubkey",
        Before().Key(kConf + "\\One", {Sz("v", "1")}).Key(kConf + "\\One\\Sub", {Sz("v", "2")}),
        {RegDelete(HKLM, "Software\\QvlConf\\One").Is(Gives(0))},
        After().Keys({kConf}).NoKeys({kConf + "\\One", kConf + "\\One\\Sub"}),
    });
    rows.push_back(Row{
        "DeleteKeyWithSeveralSubkeys",
        Before()
            .Key(kConf + "\\Many\\B", {Sz("v", "1")})
            .Key(kConf + "\\Many\\B\\C\\D")
            .Key(kConf + "\\Many\\E")
            .Key(kConf + "\\ManyMore")
            .Key(kConf + "\\Many Other"),
        {RegDelete(HKLM, "Software\\QvlConf\\Many").Is(Gives(0))},
        After()
            .Keys({kConf + "\\ManyMore", kConf + "\\Many Other"})
            .NoKeys({kConf + "\\Many", kConf + "\\Many\\B\\C\\D", kConf + "\\Many\\E"}),
    });

    // Registry: names, roots and flushing.
    rows.push_back(Row{
        "KeyAndValueNamesIgnoreLetterCase",
        Before().Key(kConf + "\\Mixed\\Case", {Sz("DeviceDesc", "Mixed Case")}),
        {
            RegQuery(HKLM, "SOFTWARE\\qvlconf\\MIXED\\case", "devicedesc", 16)
                .Is(Read(0, 1, 11, Z("Mixed Case") + Fill(5))),
            RegDelete(HKLM, "software\\QVLCONF\\mixed\\CASE").Is(Gives(0)),
        },
        After().Keys({kConf + "\\Mixed"}).NoKeys({kConf + "\\Mixed\\Case"}),
    });
    rows.push_back(Row{
        "ClassesRootIsMachineSoftwareClasses",
        Before()
            .Key("HKEY_CLASSES_ROOT\\QvlConf\\ByClasses", {Sz("v", "c")})
            .Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\QvlConf\\ByMachine", {Sz("v", "m")}),
        {
            RegQuery(HKLM, "SOFTWARE\\Classes\\QvlConf\\ByClasses", "v", 4)
                .Is(Read(0, 1, 2, Z("c") + Fill(2))),
            RegQuery(HKCR, "QvlConf\\ByMachine", "v", 4).Is(Read(0, 1, 2, Z("m") + Fill(2))),
            RegDelete(HKLM, "SOFTWARE\\Classes\\QvlConf\\ByClasses").Is(Gives(0)),
        },
        After()
            .Keys({"HKEY_CLASSES_ROOT\\QvlConf\\ByMachine"})
            .NoKeys({"HKEY_CLASSES_ROOT\\QvlConf\\ByClasses"}),
    });
    rows.push_back(Row{
        "DefaultUserIsTheCurrentUser",
        Before().Key("HKEY_USERS\\.DEFAULT\\Software\\QvlConf\\User", {Sz("v", "u")}),
        {
            RegQuery(HKU, ".DEFAULT\\Software\\QvlConf\\User", "v", 4)
                .Is(Read(0, 1, 2, Z("u") + Fill(2))),
            RegQuery(HKCU, "Software\\QvlConf\\User", "v", 4)
                .Is(Read(0, 1, 2, Z("u") + Fill(2)))
                .OnWine(Gives(kErrorFileNotFound, "(open failed)")),
            RegDelete(HKCU, "Software\\QvlConf\\User")
                .Is(Gives(0))
                .OnWine(Gives(kErrorFileNotFound)),
        },
        After().NoKeys({"HKEY_USERS\\.DEFAULT\\Software\\QvlConf\\User"}),
        After().Keys({"HKEY_USERS\\.DEFAULT\\Software\\QvlConf\\User"}),
        kUserHive,
    });
    rows.push_back(Row{
        "FlushAfterADeletion",
        Before().Key(kConf + "\\Flush\\Gone").Key("HKEY_USERS\\.DEFAULT\\Software\\QvlConf\\F"),
        {
            RegDelete(HKLM, "Software\\QvlConf\\Flush\\Gone").Is(Gives(0)),
            RegDelete(HKU, ".DEFAULT\\Software\\QvlConf\\F").Is(Gives(0)),
            RegFlush(HKLM).Is(Gives(0)),
            RegFlush(HKU).Is(Gives(0)),
            RegFlush(HKCR).Is(Gives(0)),
        },
        After().NoKeys({kConf + "\\Flush\\Gone", "HKEY_USERS\\.DEFAULT\\Software\\QvlConf\\F"}),
    });

    // Profile: win.ini.
    const std::string devices = "; top\r\n[Devices]\r\n  Printer A = drv,LPT1: \r\n"
                                "printer b=\"quoted\"\r\n[QvlPort]\r\nx=1\r\n\r\n"
                                "[devices]\r\nPrinter C=second section\r\n[Last]\r\nk=v\r\n";
    rows.push_back(Row{
        "ProfileFallback",
        Before().WinIni(devices),
        {
            GetProfile("Devices", "missing", "fallback", 150).Is(Gives(8, Z("fallback"))),
            GetProfile("NoSuchSection", "k", "fb", 150).Is(Gives(2, Z("fb"))),
            GetProfile("Devices", "missing", std::nullopt, 150).Is(Gives(0, Z(""))),
            // Only the first section of a name is looked in.
            GetProfile("Devices", "Printer C", "fallback", 150).Is(Gives(8, Z("fallback"))),
        },
        After().WinIni(devices),
    });
    rows.push_back(Row{
        "ProfileValueCutAtTheBuffer",
        Before().WinIni("[QvlConf]\r\nk=abcdefghij\r\n"),
        {
            GetProfile("QvlConf", "k", "fb", 11).Is(Gives(10, Z("abcdefghij"))),
            GetProfile("QvlConf", "k", "fb", 10).Is(Gives(9, Z("abcdefghi"))),
            GetProfile("QvlConf", "k", "fb", 5).Is(Gives(4, Z("abcd"))),
            GetProfile("QvlConf", "missing", "fallback", 4).Is(Gives(3, Z("fal"))),
        },
        After(),
    });
    rows.push_back(Row{
        "ProfileSectionAndKeyIgnoreLetterCase",
        Before().WinIni(devices),
        {
            GetProfile("DEVICES", "printer a", "fb", 150).Is(Gives(9, Z("drv,LPT1:"))),
            GetProfile("devices", "PRINTER B", "fb", 150).Is(Gives(6, Z("quoted"))),
            WriteProfile("devices", "PRINTER A", std::nullopt).Is(Gives(1)),
            WriteProfile("qvlPORT", std::nullopt, std::nullopt).Is(Gives(1)),
            GetProfile("Devices", "Printer A", "gone", 150).Is(Gives(4, Z("gone"))),
        },
        After().WinIni("; top\r\n[Devices]\r\nprinter b=\"quoted\"\r\n"
                       "[devices]\r\nPrinter C=second section\r\n[Last]\r\nk=v\r\n"),
    });
    rows.push_back(Row{
        "ProfileWithoutAFinalLineBreak",
        Before().WinIni("[Devices]\r\nQvl=a\r\n[Empty]\r\n[Last]\r\nk=v"),
        {
            GetProfile("Last", "k", "fb", 150).Is(Gives(1, Z("v"))),
            WriteProfile("Last", "k", std::nullopt).Is(Gives(1)),
            WriteProfile("Empty", std::nullopt, std::nullopt).Is(Gives(1)),
        },
        After().WinIni("[Devices]\r\nQvl=a\r\n[Last]\r\n"),
    });
    // Headers as the profile reader takes them: VT, FF and Ctrl-Z are blanks before "[" too; the
    // name runs to the last "]", trimmed, cut at a NUL; "[" alone is no header; "" is the top.
    rows.push_back(Row{
        "ProfileHeaderShapes",
        Before().WinIni(
            "k=0\r\n[Top]\r\n[Qvl\r\nj=2\r\n\v[Vt]\r\nk=3\r\n\f[Ff]\r\nk=4\r\n\x1A[Cz]\r\n"
            "k=5\r\n[a]b]\r\nk=6\r\n[ Sp\t]\r\nk=7\r\n[\vQ 2\f]\r\nk=8\r\n[]\r\nj=9\r\n" +
            Z("[Nul") + "x]\r\nk=10\r\n" + Z("[Bl ") + "]\r\nk=11\r\n"),
        {
            GetProfile("", "k", "fb", 150).Is(Gives(1, Z("0"))),
            GetProfile("Top", "j", "fb", 150).Is(Gives(1, Z("2"))),
            GetProfile("Vt", "k", "fb", 150).Is(Gives(1, Z("3"))),
            GetProfile("Ff", "k", "fb", 150).Is(Gives(1, Z("4"))),
            GetProfile("Cz", "k", "fb", 150).Is(Gives(1, Z("5"))),
            GetProfile("a]b", "k", "fb", 150).Is(Gives(1, Z("6"))),
            GetProfile("Sp", "k", "fb", 150).Is(Gives(1, Z("7"))),
            GetProfile("q 2", "k", "fb", 150).Is(Gives(1, Z("8"))),
            GetProfile("Q 2", "j", "fb", 150).Is(Gives(2, Z("fb"))),
            GetProfile("Nul", "k", "fb", 150).Is(Gives(2, Z("10"))),
            GetProfile("Bl", "k", "fb", 150).Is(Gives(2, Z("fb"))),
            WriteProfile(" Sp\t", std::nullopt, std::nullopt).Is(Gives(1)),
            GetProfile("Sp", "k", "fb", 150).Is(Gives(1, Z("7"))),
            WriteProfile("Top", std::nullopt, std::nullopt).Is(Gives(1)),
            GetProfile("Top", "j", "fb", 150).Is(Gives(2, Z("fb"))),
            GetProfile("Vt", "k", "fb", 150).Is(Gives(1, Z("3"))),
        },
        After(),
    });

    // A lone CR ends a line, with an LF later or none: before a header, after one, inside its
    // name ("[Cr" opens nothing: j=3 is Cr2's). Windows 9x's answer is not known; Wine's.
    rows.push_back(Row{
        "ProfileLinesEndedByALoneCr",
        Before().WinIni("x=0\r[Cr1]\r\nk=1\r\n[Cr2]\rk=2\r\n[Cr\r3]\r\nj=3\r\n[a]\r[rename]\r\n"
                        "k=4\r\n[b]\r[Last]\rk=5\r"),
        {
            GetProfile("", "x", "fb", 150).Is(Gives(1, Z("0"))),
            GetProfile("Cr2", "k", "fb", 150).Is(Gives(1, Z("2"))),
            GetProfile("Cr2", "j", "fb", 150).Is(Gives(1, Z("3"))),
            GetProfile("rename", "k", "fb", 150).Is(Gives(1, Z("4"))),
            GetProfile("Last", "k", "fb", 150).Is(Gives(1, Z("5"))),
        },
        After(),
    });

    // Directories.
    rows.push_back(Row{
        "WindowsAndSystemDirectory",
        Before(),
        {
            WindowsDir(260).Is(Gives(10, Z("C:\\WINDOWS"))).OnWine(Gives(10, Z("C:\\windows"))),
            SystemDir(260)
                .Is(Gives(17, Z("C:\\WINDOWS\\SYSTEM")))
                .OnWine(Gives(19, Z("C:\\windows\\system32"))),
            // A buffer too small gets nothing and learns the size it needs, zero included.
            WindowsDir(10).Is(Gives(11, Fill(10))),
            SystemDir(17).Is(Gives(18, Fill(17))).OnWine(Gives(20, Fill(17))),
        },
        After(),
        std::nullopt,
        "a Wine prefix spells its folders in lower case, and its system directory is "
        "system32, as on NT",
    });

    // Directory search.
    rows.push_back(Row{
        "SearchOemInfFiles",
        Before()
            .File(kDir + "\\INF\\OEM1.INF", "1")
            .File(kDir + "\\INF\\oem22.inf", "22")
            .File(kDir + "\\INF\\oem.inf", "")
            .File(kDir + "\\INF\\oem3.infx", "3")
            .File(kDir + "\\INF\\xoem4.inf", "4")
            .File(kDir + "\\INF\\oem5.pnf", "5")
            .File(kDir + "\\INF\\oem setup for the printer.inf", "6"),
        {
            // oem3.infx is found through its short name OEM3~1.INF.
            Find(kDir + "\\INF\\oem*.inf")
                .Is(Gives(5, "OEM1.INF|oem setup for the printer.inf|oem.inf|oem22.inf|oem3.infx")),
            Find("c:\\qvlconf\\inf\\OEM*.INF")
                .Is(Gives(5, "OEM1.INF|oem setup for the printer.inf|oem.inf|oem22.inf|oem3.infx")),
            Find(kDir + "\\INF\\nothing*.inf").Is(Gives(0, "")),
        },
        After(),
    });
    rows.push_back(Row{
        "SearchForOneExactPath",
        Before().File(kDir + "\\INF\\OEM1.INF", "1"),
        {
            Find("c:\\qvlconf\\inf\\oem1.inf").Is(Gives(1, "OEM1.INF")),
            Find(kDir + "\\INF\\OEM9.INF").Is(Gives(0, "")),
            Find(kDir + "\\Missing\\OEM1.INF").Is(Gives(0, "")),
        },
        After(),
    });

    // Files and folders.
    rows.push_back(Row{
        "DeleteMissingAndReadOnlyFiles",
        Before()
            .File(kDir + "\\SYSTEM\\PLAIN.DLL", "p")
            .File(kDir + "\\SYSTEM\\READONLY.DLL", "r", true),
        {
            RemoveFile(kDir + "\\SYSTEM\\MISSING.DLL").Is(Gives(0)),
            RemoveFile(kDir + "\\SYSTEM\\READONLY.DLL").Is(Gives(0)),
            RemoveFile(kDir + "\\system\\plain.dll").Is(Gives(1)),
        },
        After().File(kDir + "\\SYSTEM\\READONLY.DLL", "r").NoFile(kDir + "\\SYSTEM\\PLAIN.DLL"),
    });
    rows.push_back(Row{
        "RemoveAFolderThatIsNotEmpty",
        Before().File(kDir + "\\Group\\Setup.lnk", "l").Folder(kDir + "\\Group\\Empty"),
        {
            RemoveFolder(kDir + "\\Group").Is(Gives(0)),
            RemoveFolder(kDir + "\\Group\\Empty").Is(Gives(1)),
            RemoveFolder(kDir + "\\Group").Is(Gives(0)),
            RemoveFile(kDir + "\\Group\\Setup.lnk").Is(Gives(1)),
            RemoveFolder(kDir + "\\group").Is(Gives(1)),
            RemoveFolder(kDir + "\\Group").Is(Gives(0)),
        },
        After().NoFile(kDir + "\\Group\\Setup.lnk"),
    });

    // An open file is not deleted (Windows 9x refuses too; its error code is not checked here,
    // Wine's is NT's). Each stream closed frees its slot: more in turn than there are slots.
    rows.push_back(Row{
        "OpenStreamsAndTheirSlots",
        Before().File(kDir + "\\INF\\OEM1.INF", "QVL7STAT.EXE\r\n"),
        {
            DeleteOpen(kDir + "\\INF\\OEM1.INF").Is(Gives(0, "32")),
            Find(kDir + "\\INF\\OEM1.INF").Is(Gives(1, "OEM1.INF")),
            Reopen(kDir + "\\INF\\OEM1.INF", 3 * kStreamSlots).Is(Gives(3 * kStreamSlots)),
            RemoveFile(kDir + "\\INF\\OEM1.INF").Is(Gives(1)),
        },
        After().NoFile(kDir + "\\INF\\OEM1.INF"),
    });

    // Text mode.
    rows.push_back(Row{
        "AppendAfterAFinalCtrlZ",
        Before()
            .File(kDir + "\\Text\\ctrlz.ini", "x\r\n\x1A")
            .File(kDir + "\\Text\\two.ini", "x\x1A\x1A")
            .File(kDir + "\\Text\\inside.ini", "\x1Ax"),
        {
            Append(kDir + "\\Text\\ctrlz.ini", {"one", "two"}).Is(Gives(1, "4,4")),
            Append(kDir + "\\Text\\two.ini", {"one"}).Is(Gives(1, "4")),
            Append(kDir + "\\Text\\inside.ini", {"one"}).Is(Gives(1, "4")),
        },
        After()
            .File(kDir + "\\Text\\ctrlz.ini", "x\r\none\r\ntwo\r\n")
            .File(kDir + "\\Text\\two.ini", "x\x1Aone\r\n")
            .File(kDir + "\\Text\\inside.ini", "\x1Axone\r\n"),
    });
    // What the removal reads of wininit.ini before it appends: the bytes as they stand.
    const std::string odd("a\0b\r\n\x1A[x]\r\xFF\x1A", 12);
    rows.push_back(Row{
        "ReadBinaryAsTheBytesStand",
        Before().File(kDir + "\\Text\\odd.ini", odd).File(kDir + "\\Text\\empty.ini", ""),
        {
            ReadBinary(kDir + "\\Text\\odd.ini", 5)
                .Is(Gives(1, odd.substr(0, 5) + "|" + odd.substr(5, 5) + "|" + odd.substr(10) +
                                 "|EOF")),
            ReadBinary(kDir + "\\Text\\odd.ini", 12).Is(Gives(1, odd + "||EOF")),
            ReadBinary(kDir + "\\Text\\empty.ini", 5).Is(Gives(1, "|EOF")),
            ReadBinary(kDir + "\\Text\\missing.ini", 5).Is(Gives(0, "")),
        },
        After().File(kDir + "\\Text\\odd.ini", odd),
    });
    rows.push_back(Row{
        "PrintLineEndsWithCrLf",
        Before().Folder(kDir + "\\Text"),
        {
            Append(kDir + "\\Text\\new.ini", {"[rename]", "NULL=C:\\X", "a\nb", ""})
                .Is(Gives(1, "9,10,4,1")),
            Append(kDir + "\\Missing\\new.ini", {"x"}).Is(Gives(0, "")),
        },
        After()
            .File(kDir + "\\Text\\new.ini", "[rename]\r\nNULL=C:\\X\r\na\r\nb\r\n\r\n")
            .NoFile(kDir + "\\Missing\\new.ini"),
    });
    rows.push_back(Row{
        "ScanWordsAroundControlBytes",
        Before()
            .File(kDir + "\\Text\\ctrlz.inf", "ab\x1A"
                                              "cd")
            .File(kDir + "\\Text\\blankz.inf", "ab \x1A"
                                               "cd")
            .File(kDir + "\\Text\\lines.inf", "a\r\nb\rc\nd\r\n")
            .File(kDir + "\\Text\\vtff.inf", "a\x0B"
                                             "b\x0C"
                                             "c\td \r\n\x1A")
            .File(kDir + "\\Text\\long.inf", "abcdefghij abcdefg k"),
        {
            Scan(kDir + "\\Text\\ctrlz.inf", 200).Is(Gives(1, "ab*|EOF*")),
            Scan(kDir + "\\Text\\blankz.inf", 200).Is(Gives(1, "ab|EOF*")),
            Scan(kDir + "\\Text\\lines.inf", 200).Is(Gives(1, "a|b|c|d|EOF*")),
            Scan(kDir + "\\Text\\vtff.inf", 200).Is(Gives(1, "a|b|c|d|EOF*")),
            Scan(kDir + "\\Text\\long.inf", 8).Is(Gives(1, "abcdefg+10|abcdefg|k*|EOF*")),
            Scan(kDir + "\\Text\\missing.inf", 8).Is(Gives(0, "")),
        },
        After(),
    });

    return rows;
}

} // namespace

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = MakeRows();
    return rows;
}

} // namespace qvl::conformance
