// emulation_test.cpp: the emulated machine behaves as Windows 9x does.
#include "test_support.h"

namespace qvl::test {
namespace {

using emu::RegBlock;
using emu::Registry;
using emu::RegString;

class Emulation : public MachineTest {
  protected:
    emu::Machine& Load() {
        WriteRegistryNow();
        machine_ = std::make_unique<emu::Machine>(folder_);
        std::string error;
        EXPECT_TRUE(machine_->Load(&error)) << error;
        return *machine_;
    }
    void WriteRegistryNow() { RegistryText(); }
    // Opens root\sub and reads a value; returns the result and the text read.
    std::pair<WinLong, std::string> Query(RegKey root, const char* sub, const char* value) {
        RegKey key = 0;
        WinLong r = machine_->RegOpenKeyExA(root, sub, 0, kKeyQueryValue, &key);
        if (r != 0)
            return {r, ""};
        unsigned char data[260] = {};
        WinDword size = sizeof data;
        WinDword type = 0;
        r = machine_->RegQueryValueExA(key, value, nullptr, &type, data, &size);
        machine_->RegCloseKey(key);
        return {r, r == 0 ? std::string(reinterpret_cast<char*>(data), size) : ""};
    }
    std::unique_ptr<emu::Machine> machine_;
};

TEST_F(Emulation, RootAliasesAreViewsOfTheTwoRealRoots) {
    AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\x", {RegString("v", "classes")});
    AddKey("HKEY_LOCAL_MACHINE\\Config\\0001\\System\\y", {RegString("v", "config")});
    AddKey("HKEY_USERS\\.DEFAULT\\Software\\z", {RegString("v", "user")});
    AddKey("HKEY_CLASSES_ROOT\\written\\by alias", {RegString("v", "alias")});
    Load();
    EXPECT_EQ(Query(kHkeyClassesRoot, "CLSID\\x", "v").second, std::string("classes\0", 8));
    EXPECT_EQ(Query(kHkeyCurrentConfig, "System\\y", "v").second, std::string("config\0", 7));
    EXPECT_EQ(Query(kHkeyCurrentUser, "Software\\z", "v").second, std::string("user\0", 5));
    EXPECT_EQ(Query(kHkeyLocalMachine, "SOFTWARE\\Classes\\written\\by alias", "v").first, 0);
    // Deleting through an alias deletes the real key.
    EXPECT_EQ(machine_->RegDeleteKeyA(kHkeyCurrentUser, "Software\\z"), 0);
    EXPECT_EQ(Query(kHkeyUsers, ".DEFAULT\\Software\\z", "v").first, kErrorFileNotFound);
    EXPECT_EQ(Query(kHkeyUsers, ".DEFAULT\\Software", nullptr).first,
              kErrorFileNotFound); // the key is there, its value is not
}

TEST_F(Emulation, NamesCompareWithoutCaseAndKeepTheirCase) {
    AddKey("HKEY_LOCAL_MACHINE\\Enum\\Root\\Printer\\0000",
           {RegString("DeviceDesc", "Mixed Case")});
    Load();
    machine_->RegDeleteKeyA(kHkeyLocalMachine, "enum\\ROOT\\printer\\0000");
    machine_->Save();
    EXPECT_FALSE(KeyExists("HKEY_LOCAL_MACHINE\\Enum\\Root\\Printer\\0000"));
    EXPECT_TRUE(KeyExists("hkey_local_machine\\ENUM\\Root\\PRINTER"));
    EXPECT_NE(RegistryText().find("[HKEY_LOCAL_MACHINE\\Enum\\Root\\Printer]"), std::string::npos);
}

TEST_F(Emulation, ValueReadsFollowWindows) {
    // Sizes, strings, binary values and missing values are in the conformance table.
    AddKey("HKEY_LOCAL_MACHINE\\K", {RegString("s", "x"), emu::RegDword("d", 0x01020304),
                                     emu::RegBinary("e", 7, std::string("a\0b\0\0", 5))});
    Load();
    EXPECT_EQ(Query(kHkeyLocalMachine, "K", "d").second, "\x04\x03\x02\x01");
    EXPECT_EQ(Query(kHkeyLocalMachine, "K", "e").second, std::string("a\0b\0\0", 5));
    RegKey key = 0;
    ASSERT_EQ(machine_->RegOpenKeyExA(kHkeyLocalMachine, "K", 0, kKeyQueryValue, &key), 0);
    unsigned char small[4] = {'?', '?', '?', '?'};
    WinDword size = sizeof small;
    // A key deleted while open can no longer be read.
    machine_->RegDeleteKeyA(kHkeyLocalMachine, "K");
    EXPECT_EQ(machine_->RegQueryValueExA(key, "s", nullptr, nullptr, small, &size),
              kErrorKeyDeleted);
    EXPECT_EQ(machine_->RegCloseKey(key), 0);
    EXPECT_NE(machine_->RegCloseKey(key), 0);
}

TEST_F(Emulation, DeletingAKeyTakesItsWholeSubtreeAndNothingElse) {
    AddKey("HKEY_LOCAL_MACHINE\\A\\B", {RegString("v", "1")});
    AddKey("HKEY_LOCAL_MACHINE\\A\\B\\C\\D");
    AddKey("HKEY_LOCAL_MACHINE\\A\\B\\E");
    AddKey("HKEY_LOCAL_MACHINE\\A\\BB");
    AddKey("HKEY_LOCAL_MACHINE\\A\\B C");
    Load();
    machine_->RegDeleteKeyA(kHkeyLocalMachine, "A\\B");
    EXPECT_NE(machine_->RegDeleteKeyA(kHkeyLocalMachine, ""), 0);
    EXPECT_NE(machine_->RegDeleteKeyA(kHkeyLocalMachine, "A\\\\BB"), 0);
    machine_->Save();
    // A, which only existed through its subkeys' headers, gets a header of its own.
    EXPECT_TRUE(SameText(RegistryText(), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\r\n" +
                                             RegBlock("HKEY_LOCAL_MACHINE\\A\\BB", {}) +
                                             RegBlock("HKEY_LOCAL_MACHINE\\A\\B C", {})));
    EXPECT_TRUE(KeyExists("HKEY_LOCAL_MACHINE\\A"));
}

TEST_F(Emulation, Regedit4RoundTripKeepsEveryByte) {
    const std::string text = "REGEDIT4\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Odd]\r\n"
                             "\"Quote\\\"d\"=\"a \\\\ b \\\" c\"\r\n"
                             "@=\"default\"\r\n"
                             "\"Dword\"=dword:DEADbeef\r\n"
                             "\"Bin\"=hex:00,01,ff,\\\r\n"
                             "  10,20\r\n"
                             "\"Multi\"=hex(7):61,00,00,00\r\n"
                             "\"Empty\"=hex:\r\n"
                             "; a comment line\r\n"
                             "\r\n"
                             "[HKEY_USERS\\.DEFAULT\\Keep]\n"
                             "\"unix\"=\"line end\"\n"
                             "\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Gone]\r\n"
                             "\"x\"=\"y\"\r\n"
                             "\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Gone\\Child]\r\n"
                             "\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Tail]";
    Registry registry;
    registry.Load(text);
    EXPECT_TRUE(SameText(registry.Save(), text));
    const emu::RegValue* bin = registry.FindValue("HKEY_LOCAL_MACHINE\\Software\\Odd", "bin");
    ASSERT_NE(bin, nullptr);
    EXPECT_EQ(bin->data, std::string("\x00\x01\xff\x10\x20", 5));
    EXPECT_EQ(registry.FindValue("HKEY_LOCAL_MACHINE\\Software\\Odd", "Quote\"d")->data,
              std::string("a \\ b \" c\0", 10));
    EXPECT_EQ(registry.FindValue("HKEY_LOCAL_MACHINE\\Software\\Odd", "dword")->data,
              "\xef\xbe\xad\xde");
    EXPECT_EQ(registry.FindValue("HKEY_LOCAL_MACHINE\\Software\\Odd", "Multi")->type, 7u);
    EXPECT_EQ(registry.FindValue("HKEY_LOCAL_MACHINE\\Software\\Odd", "Empty")->data, "");
    EXPECT_EQ(registry.FindValue("HKEY_USERS\\.DEFAULT\\Keep", "unix")->data,
              std::string("line end\0", 9));

    EXPECT_TRUE(registry.DeleteTree("HKEY_LOCAL_MACHINE\\Software\\Gone"));
    std::string expected = text;
    std::size_t gone = expected.find("[HKEY_LOCAL_MACHINE\\Software\\Gone]");
    expected.replace(gone, expected.find("[HKEY_LOCAL_MACHINE\\Software\\Tail]") - gone,
                     "[HKEY_LOCAL_MACHINE\\Software]\r\n\r\n"); // Software keeps existing
    EXPECT_TRUE(SameText(registry.Save(), expected));
    Registry reloaded;
    reloaded.Load(registry.Save());
    EXPECT_TRUE(SameLines(reloaded.Listing(), registry.Listing()));
}

// Found by fuzzing: once a subkey's block was deleted, a key first met through a subkey's
// header moved in the listing, or took its spelling from another header than its own,
// and a save and a load then gave another machine.
TEST_F(Emulation, DeletingASubkeyKeepsEachKeysPlaceAndSpelling) {
    const struct {
        const char* text;
        const char* deleted;
        const char* saved;
    } cases[] = {
        {"[HKEY_LOCAL_MACHINE\\A\\Z]\r\n\r\n[HKEY_LOCAL_MACHINE\\B]\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\A]\r\n\r\n",
         "HKEY_LOCAL_MACHINE\\A\\Z",
         "[HKEY_LOCAL_MACHINE\\B]\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\r\n"},
        {"[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Print]\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\System\\CURRENTcontrolset\\Services]\r\n\r\n",
         "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control",
         "[HKEY_LOCAL_MACHINE\\System]\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet]\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\System\\CURRENTcontrolset\\Services]\r\n\r\n"},
        {"[HKEY_LOCAL_MACHINE\\Enum\\LPTENUM\\DEVICE\\LogConfig]\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\Enum\\LPTENUM\\Device]\r\n\"x\"=\"y\"\r\n\r\n",
         "HKEY_LOCAL_MACHINE\\Enum\\LPTENUM\\device\\logconfig",
         "[HKEY_LOCAL_MACHINE\\Enum]\r\n\r\n[HKEY_LOCAL_MACHINE\\Enum\\LPTENUM]\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\Enum\\LPTENUM\\Device]\r\n\"x\"=\"y\"\r\n\r\n"},
    };
    for (const auto& c : cases) {
        Registry registry;
        registry.Load(std::string("REGEDIT4\r\n\r\n") + c.text);
        ASSERT_TRUE(registry.DeleteTree(c.deleted)) << c.deleted;
        EXPECT_TRUE(SameText(registry.Save(), std::string("REGEDIT4\r\n\r\n") + c.saved));
        Registry reloaded;
        reloaded.Load(registry.Save());
        EXPECT_TRUE(SameLines(reloaded.Listing(), registry.Listing())) << c.deleted;
    }
}

TEST_F(Emulation, MachineWithoutChangesWritesNothingBack) {
    ASSERT_TRUE(emu::WriteDemoMachine(folder_, kBuild98));
    std::vector<std::string> before = emu::SnapshotMachine(folder_);
    std::string registry = RegistryText();
    emu::Machine machine(folder_);
    std::string error;
    ASSERT_TRUE(machine.Load(&error));
    EXPECT_EQ(machine.RegFlushKey(kHkeyLocalMachine), 0);
    EXPECT_EQ(machine.WriteProfileStringA("NoSuchSection", nullptr, nullptr), 1);
    EXPECT_TRUE(machine.Save());
    EXPECT_TRUE(SameText(RegistryText(), registry));
    EXPECT_TRUE(SameLines(emu::SnapshotMachine(folder_), before));
}

TEST_F(Emulation, WindowsPathsMapOntoDriveFoldersWithoutCase) {
    PutFile("C:\\Program Files\\Sub\\Mixed.Dll", "m");
    PutFile("C:\\Root.txt", "r");
    PutFile("D:\\Data\\x.txt", "d");
    emu::Machine& m = Load();
    EXPECT_EQ(m.DeleteFileA("c:\\PROGRAM FILES\\sub\\MIXED.DLL"), 1);
    EXPECT_EQ(m.DeleteFileA("C:\\Program Files\\Sub\\Mixed.Dll"), 0);
    EXPECT_EQ(m.DeleteFileA("\\ROOT.TXT"), 1); // no drive: drive C:
    EXPECT_EQ(m.DeleteFileA("d:/data/X.TXT"), 1);
    EXPECT_EQ(m.DeleteFileA("\\\\server\\share\\x"), 0); // network paths are not there
    EXPECT_EQ(m.RemoveDirectoryA("C:\\"), 0);            // nor is a drive's root removable
    EXPECT_EQ(m.RemoveDirectoryA("C:\\WINDOWS"), 0);     // not empty
    EXPECT_EQ(m.RemoveDirectoryA("C:\\WINDOWS\\SYSTEM"), 1);
    std::string host;
    ASSERT_TRUE(m.HostPath("C:\\..\\..\\..\\etc\\passwd", &host));
    EXPECT_EQ(host, folder_ + "/C/etc/passwd"); // ".." stops at the drive's root
    EXPECT_FALSE(m.HostPath("C:\\a|b", &host));
}

TEST_F(Emulation, BuildNumberIsHexadecimalWithOrWithout0x) {
    for (const char* text : {"0x040A07CE", "040A07CE", "40a07ce"}) {
        ASSERT_TRUE(emu::WriteHostFileAtomically(
            folder_ + "/machine.ini", std::string("[Version]\r\nBuildNumber=") + text + "\r\n"));
        OsVersionInfo info = {};
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_EQ(Load().GetVersionExA(&info), 1);
        EXPECT_EQ(info.dwBuildNumber, 0x040A07CEu) << text;
        EXPECT_EQ(info.dwMinorVersion, 10u);
    }
}

TEST_F(Emulation, VersionAndDirectoriesComeFromMachineIni) {
    SetMachine(0x040003B6, "C:\\WIN95", "C:\\WIN95\\SYSTEM");
    emu::Machine& m = Load();
    OsVersionInfo info = {};
    EXPECT_EQ(m.GetVersionExA(&info), 0); // the size field must be set
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_EQ(m.GetVersionExA(&info), 1);
    EXPECT_EQ(info.dwBuildNumber, 0x040003B6u);
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.dwMinorVersion, 0u);
    EXPECT_EQ(info.dwPlatformId, 1u);
    char dir[260];
    EXPECT_EQ(m.GetWindowsDirectoryA(dir, sizeof dir), 8u);
    EXPECT_STREQ(dir, "C:\\WIN95");
    dir[0] = 'z';
    EXPECT_EQ(m.GetSystemDirectoryA(dir, 16), 15u);
    EXPECT_STREQ(dir, "C:\\WIN95\\SYSTEM");
    dir[0] = 'z';
    EXPECT_EQ(m.GetSystemDirectoryA(dir, 15), 16u); // too small: the size needed, nothing written
    EXPECT_EQ(dir[0], 'z');
}

TEST_F(Emulation, KeysAndFilesThatOtherProgramsHoldComeFromMachineIni) {
    PutFile("C:\\WINDOWS\\used.dll", "u");
    PutFile("C:\\WINDOWS\\locked.txt", "l");
    PutFile("C:\\WINDOWS\\free.txt", "f");
    AddKey("HKEY_LOCAL_MACHINE\\K");
    AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\X");
    AddKey("HKEY_LOCAL_MACHINE\\Gone");
    // Held keys may be named through an alias, files through any spelling.
    for (const char* key : {"HKEY_CLASSES_ROOT\\x", "HKEY_LOCAL_MACHINE\\k"})
        ASSERT_TRUE(emu::AddMachineSetting(folder_, "Protected", "SurvivingKey", key));
    ASSERT_TRUE(
        emu::AddMachineSetting(folder_, "Protected", "UndeletableFile", "c:\\windows\\USED.DLL"));
    ASSERT_TRUE(
        emu::AddMachineSetting(folder_, "Protected", "UnopenableFile", "C:\\WINDOWS\\locked.txt"));
    emu::Machine& m = Load();
    RegKey key;
    EXPECT_EQ(m.RegDeleteKeyA(kHkeyLocalMachine, "SOFTWARE\\Classes\\X"), 0);
    EXPECT_EQ(m.RegDeleteKeyA(kHkeyLocalMachine, "K"), 0);
    EXPECT_EQ(m.RegDeleteKeyA(kHkeyLocalMachine, "Gone"), 0);
    for (const char* held : {"SOFTWARE\\Classes\\X", "K"}) {
        ASSERT_EQ(m.RegOpenKeyExA(kHkeyLocalMachine, held, 0, kKeyQueryValue, &key), 0) << held;
        m.RegCloseKey(key);
    }
    EXPECT_EQ(m.RegOpenKeyExA(kHkeyLocalMachine, "Gone", 0, kKeyQueryValue, &key), 2);

    TextStream* used = m.OpenText("C:\\WINDOWS\\used.dll", "r");
    ASSERT_NE(used, nullptr);
    m.CloseText(used);
    EXPECT_EQ(m.OpenText("C:\\WINDOWS\\locked.txt", "r"), nullptr);
    EXPECT_EQ(m.DeleteFileA("C:\\WINDOWS\\used.dll"), 0);
    EXPECT_EQ(m.DeleteFileA("C:\\WINDOWS\\locked.txt"), 0);
    EXPECT_EQ(m.DeleteFileA("C:\\WINDOWS\\free.txt"), 1);
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\used.dll"));
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\locked.txt"));
}

} // namespace
} // namespace qvl::test
