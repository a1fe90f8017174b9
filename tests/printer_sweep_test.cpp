// printer_sweep_test.cpp: the search for the printer's numbered instance keys.
//
// The value names and descriptions the sweep reads stand here as the registry holds them,
// on purpose, as an independent check of the stage's table.
#include "test_support.h"

#include "removal/printer_sweep.h"

#include <map>

namespace qvl::test {
namespace {

const std::string kEnum = kPasses[0].base;
const std::string kClass = kPasses[1].base;
const std::string kOurs = PrinterModelName;

std::string Four(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", n);
    return text;
}

// Key names from their numbers, each with the mark after it.
std::vector<std::string> Fours(const std::vector<int>& numbers, const char* mark = "",
                               std::vector<std::string> out = {}) {
    for (int n : numbers)
        out.push_back(Four(n) + mark);
    return out;
}

class PrinterSweep : public MachineTest {
  protected:
    void Instance(const std::string& base, int n, const std::vector<RegValue>& values) {
        AddKey("HKEY_LOCAL_MACHINE\\" + base + "\\" + Four(n), values);
    }
    // Pass 1 keys with a DeviceDesc each.
    void Described(int n, const std::string& text) {
        Instance(kEnum, n, {emu::RegString("DeviceDesc", text)});
    }
    bool Present(const std::string& base, int n) {
        return KeyExists("HKEY_LOCAL_MACHINE\\" + base + "\\" + Four(n));
    }

    // The sweep's part of a trace: the calls between the fixed keys' flush and win.ini.
    static std::vector<std::string> SweepCalls(const std::vector<std::string>& trace) {
        return Between(trace, "RegFlushKey(HKEY_LOCAL_MACHINE)", "GetProfileStringA");
    }
    // The numbers of base's keys in the order they were opened, with the result of each
    // open ("+" opened); or (read) those of the keys whose value was read.
    static std::vector<std::string> Opens(const std::vector<std::string>& sweep,
                                          const std::string& base, bool read = false) {
        std::vector<std::string> out;
        std::string prefix = "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"" + base + "\\";
        std::string key;
        for (const std::string& line : sweep) {
            bool open = line.rfind("RegOpenKeyExA", 0) == 0;
            std::size_t end = line.find('"', prefix.size());
            if (open)
                key = line.rfind(prefix, 0) == 0 ? line.substr(prefix.size(), end - prefix.size())
                                                 : "";
            if (!key.empty() && (read ? line.rfind("RegQueryValueExA", 0) == 0 : open))
                out.push_back(read ? key
                                   : key + (line.find(" -> 0 ") != std::string::npos ? "+" : "-"));
        }
        return out;
    }
};

TEST_F(PrinterSweep, WorkedExample) {
    Described(0, "HP LaserJet 4");
    Described(1, kOurs);
    Described(3, "Epson Stylus 800");
    Instance(kClass, 0, {emu::RegString("DriverDesc", kOurs)});
    std::vector<std::string> sweep = WithoutResults(SweepCalls(Run()));

    const std::string open = "RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"";
    const std::string tail = "\", 0, KEY_QUERY_VALUE)";
    std::vector<std::string> expected = {
        open + kEnum + "\\0000" + tail,
        "RegQueryValueExA(key#1, \"DeviceDesc\", 260)",
        "RegCloseKey(key#1)",
        open + kEnum + "\\0001" + tail,
        "RegQueryValueExA(key#2, \"DeviceDesc\", 260)",
        "RegCloseKey(key#2)",
        "RegDeleteKeyA(HKEY_LOCAL_MACHINE, \"" + kEnum + "\\0001\")",
        open + kEnum + "\\0001" + tail,
        open + kEnum + "\\0002" + tail,
        open + kEnum + "\\0003" + tail,
        "RegQueryValueExA(key#3, \"DeviceDesc\", 260)",
        "RegCloseKey(key#3)",
    };
    for (int n = 4; n <= 100; ++n)
        expected.push_back(open + kEnum + "\\" + Four(n) + tail);
    expected.push_back(open + kClass + "\\0000" + tail);
    expected.push_back("RegQueryValueExA(key#4, \"DriverDesc\", 260)");
    expected.push_back("RegCloseKey(key#4)");
    expected.push_back("RegDeleteKeyA(HKEY_LOCAL_MACHINE, \"" + kClass + "\\0000\")");
    for (int n = 0; n <= 100; ++n)
        expected.push_back(open + kClass + "\\" + Four(n) + tail);
    EXPECT_TRUE(SameLines(sweep, expected));

    EXPECT_TRUE(Present(kEnum, 0));
    EXPECT_FALSE(Present(kEnum, 1));
    EXPECT_TRUE(Present(kEnum, 3));
    EXPECT_FALSE(Present(kClass, 0));
}

// Budget cases, each on pass 1 alone: which keys exist and match, which of those stay,
// which keys are read, and the last number the pass opens.
struct BudgetCase {
    const char* name;
    std::vector<int> others;   // exist, another printer's description
    std::vector<int> ours;     // exist, the printer's description
    std::vector<int> kept;     // of ours, those that stay
    std::vector<int> examined; // keys whose value was read
    int lastOpened;
};

std::vector<int> Range(int from, int to) {
    std::vector<int> out;
    for (int n = from; n <= to; ++n)
        out.push_back(n);
    return out;
}

TEST_F(PrinterSweep, BudgetIsSpentOnlyOnProbesAndChangesOfMode) {
    const BudgetCase cases[] = {
        {"no keys at all", {}, {}, {}, {}, 101},
        {"no 0000, matching 0001", {}, {1}, {}, {1}, 99},
        {"151 other printers in a row", Range(0, 150), {}, {}, Range(0, 150), 251},
        {"151 matches in a row", {}, Range(0, 150), Range(34, 150), Range(0, 33), 34},
        {"gaps add up", {0, 40}, {80, 120}, {120}, {0, 40, 80}, 98},
        {"lone 0099 is examined", {}, {99}, {}, {99}, 99},
        {"lone 0100 is closed unexamined", {}, {100}, {100}, {}, 100},
        {"lone 0101 is closed unexamined", {}, {101}, {101}, {}, 101},
        {"lone 0102 is never opened", {}, {102}, {102}, {}, 101},
        {"a deleted 9999 ends the pass", Range(0, 9998), {9999}, {}, Range(0, 9999), 9999},
    };
    for (const BudgetCase& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        for (int n : c.others)
            Described(n, "HP LaserJet 4");
        for (int n : c.ours)
            Described(n, kOurs);
        std::vector<std::string> sweep = SweepCalls(Run());
        // Every number up to the last is opened once, a deleted key again right after.
        std::vector<std::string> opened, opens = Opens(sweep, kEnum);
        for (std::size_t i = 0; i < opens.size(); ++i)
            if (i == 0 || opens[i - 1] != opens[i].substr(0, 4) + "+")
                opened.push_back(opens[i].substr(0, 4));
        EXPECT_TRUE(SameLines(opened, Fours(Range(0, c.lastOpened))));
        EXPECT_TRUE(SameLines(Opens(sweep, kEnum, true), Fours(c.examined)));
        std::vector<int> kept;
        for (int n : c.ours)
            if (Present(kEnum, n))
                kept.push_back(n);
        EXPECT_TRUE(SameLines(Fours(kept), Fours(c.kept))) << "the printer's keys that stay";
        emu::Registry after; // read once: 9,999 others are too many to read it for each
        after.Load(RegistryText());
        for (int n : c.others)
            EXPECT_TRUE(after.Exists("HKEY_LOCAL_MACHINE\\" + kEnum + "\\" + Four(n))) << n;
        // Every key opened was closed again, before the next open.
        int open = 0;
        for (const std::string& line : sweep) {
            if (line.rfind("RegOpenKeyExA", 0) == 0 && line.find(" -> 0 ") != std::string::npos) {
                EXPECT_EQ(open++, 0) << line;
            }
            if (line.rfind("RegCloseKey", 0) == 0)
                --open;
        }
        EXPECT_EQ(open, 0);
    }
}

TEST_F(PrinterSweep, NamesHaveFourDigitsAcrossEverySeparator) {
    for (int n : Range(0, 1000))
        Described(n, "Other");
    EXPECT_TRUE(SameLines(Opens(SweepCalls(Run()), kEnum),
                          Fours(Range(1001, 1101), "-", Fours(Range(0, 1000), "+"))));
}

TEST_F(PrinterSweep, EndsBeforeAFiveDigitName) {
    for (int n : Range(0, 9999))
        Described(n, "Other");
    std::vector<std::string> sweep = SweepCalls(Run());
    EXPECT_TRUE(SameLines(Opens(sweep, kEnum), Fours(Range(0, 9999), "+")));
    // Pass 2 runs all the same.
    EXPECT_TRUE(SameLines(Opens(sweep, kClass), Fours(Range(0, 101), "-")));
}

TEST_F(PrinterSweep, DescriptionMustBeExactlyThePrinterName) {
    struct Value {
        const char* name;
        RegValue value;
        bool matches;
    };
    const std::string ours = kOurs;
    const Value values[] = {
        {"exact", emu::RegString("DeviceDesc", ours), true},
        {"value name in other case", emu::RegString("devicedesc", ours), true},
        {"upper case", emu::RegString("DeviceDesc", "OVRIK VELOSTRIX R40"), false},
        {"lower case", emu::RegString("DeviceDesc", "ovrik velostrix r40"), false},
        {"added character", emu::RegString("DeviceDesc", ours + " "), false},
        {"prefix", emu::RegString("DeviceDesc", "Ovrik Velostrix R4"), false},
        {"binary with zero", emu::RegBinary("DeviceDesc", 3, ours + std::string(1, '\0')), true},
        {"text without zero", emu::RegBinary("DeviceDesc", 1, ours), true},
        {"zero inside", emu::RegBinary("DeviceDesc", 1, ours + std::string(1, '\0') + "junk"),
         true},
        {"259 bytes and zero", emu::RegString("DeviceDesc", std::string(259, 'x')), false},
        {"260 bytes, no zero", emu::RegBinary("DeviceDesc", 1, std::string(260, 'x')), false},
        {"260 bytes, name first", emu::RegBinary("DeviceDesc", 1, ours + std::string(241, 'x')),
         false},
        {"261 bytes", emu::RegString("DeviceDesc", ours + std::string(241, ' ')), false},
        {"empty", emu::RegBinary("DeviceDesc", 1, ""), false},
        {"only DriverDesc", emu::RegString("DriverDesc", ours), false},
    };
    for (const Value& v : values) {
        SCOPED_TRACE(v.name);
        Restart();
        Instance(kEnum, 0, {v.value});
        Run();
        EXPECT_EQ(Present(kEnum, 0), !v.matches);
    }
}

TEST_F(PrinterSweep, EachPassReadsOnlyItsOwnValue) {
    Instance(kEnum, 0,
             {emu::RegString("DeviceDesc", "Other"), emu::RegString("DriverDesc", kOurs)});
    Instance(kClass, 0,
             {emu::RegString("DeviceDesc", kOurs), emu::RegString("DriverDesc", "Other")});
    std::vector<std::string> sweep = SweepCalls(Run());
    EXPECT_TRUE(Present(kEnum, 0));
    EXPECT_TRUE(Present(kClass, 0));
    EXPECT_TRUE(SameLines(WithoutResults(Calls(sweep, "RegQueryValueExA")),
                          {"RegQueryValueExA(key#1, \"DeviceDesc\", 260)",
                           "RegQueryValueExA(key#2, \"DriverDesc\", 260)"}));
}

TEST_F(PrinterSweep, KeyWithoutValueStaysAfterADeletedKeyAndFirstInPassTwo) {
    Described(0, kOurs);
    Instance(kEnum, 1, {emu::RegString("Class", "Printer")});
    Instance(kClass, 0, {});
    Instance(kClass, 1, {emu::RegString("DriverDesc", kOurs)});
    Run();
    EXPECT_FALSE(Present(kEnum, 0));
    EXPECT_TRUE(Present(kEnum, 1));
    EXPECT_TRUE(Present(kClass, 0));
    EXPECT_FALSE(Present(kClass, 1));
}

TEST_F(PrinterSweep, StaleBytesOfAnEarlierReadNeverMakeAMatch) {
    // 0000 leaves the whole name in the value buffer; 0001 holds only its first five
    // letters, with no terminating zero.
    Described(0, kOurs);
    Instance(kEnum, 1, {emu::RegBinary("DeviceDesc", 1, "Ovrik")});
    Run();
    EXPECT_FALSE(Present(kEnum, 0));
    EXPECT_TRUE(Present(kEnum, 1));
}

TEST_F(PrinterSweep, MatchingKeyThatSurvivesItsDeletionDoesNotStopThePass) {
    Described(0, kOurs);
    Described(1, kOurs);
    Described(2, kOurs);
    ASSERT_TRUE(emu::AddMachineSetting(folder_, "Protected", "SurvivingKey",
                                       "HKEY_LOCAL_MACHINE\\" + kEnum + "\\0001"));
    std::vector<std::string> sweep = SweepCalls(Run());
    EXPECT_FALSE(Present(kEnum, 0));
    EXPECT_TRUE(Present(kEnum, 1));
    EXPECT_FALSE(Present(kEnum, 2));
    // 0001 is read once, and the pass goes on to 0002 and to its end.
    std::vector<std::string> opens = Opens(sweep, kEnum);
    opens.resize(6);
    EXPECT_TRUE(SameLines(opens, {"0000+", "0000-", "0001+", "0001+", "0002+", "0002-"}));
    EXPECT_TRUE(SameLines(Opens(sweep, kEnum, true), {"0000", "0001", "0002"}));
    EXPECT_TRUE(SameLines(Opens(sweep, kClass), Fours(Range(0, 101), "-")));
}

TEST_F(PrinterSweep, EveryDeletedKeyTakesItsSubtree) {
    Described(0, kOurs);
    AddKey("HKEY_LOCAL_MACHINE\\" + kEnum + "\\0000\\LogConfig\\Deep");
    Instance(kClass, 0, {emu::RegString("DriverDesc", kOurs)});
    AddKey("HKEY_LOCAL_MACHINE\\" + kClass + "\\0000\\DEFAULT");
    AddKey("HKEY_LOCAL_MACHINE\\" + kClass + "\\0000\\Other");
    Run();
    EXPECT_FALSE(KeyExists("HKEY_LOCAL_MACHINE\\" + kEnum + "\\0000\\LogConfig\\Deep"));
    EXPECT_FALSE(Present(kClass, 0));
    EXPECT_TRUE(KeyExists("HKEY_LOCAL_MACHINE\\" + kEnum));
    EXPECT_TRUE(KeyExists("HKEY_LOCAL_MACHINE\\" + kClass));
}

} // namespace
} // namespace qvl::test
