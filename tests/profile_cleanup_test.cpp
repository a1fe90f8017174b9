// profile_cleanup_test.cpp: the printer's lines and per-port sections in win.ini.
#include "test_support.h"

namespace qvl::test {
namespace {

const std::string kIni = "C:\\WINDOWS\\WIN.INI";

// Sections of other printers and near misses that no case may touch.
const std::string kOthers = "[windows]\r\ndevice=HP LaserJet 4,HPPCL5MS,LPT1:\r\n\r\n"
                            "[HP LaserJet 4-LPT1]\r\nx=1\r\n"
                            "[Ovrik Velostrix R40 Pro-LPT1]\r\nx=2\r\n"
                            "[Ovrik Velostrix R40-LPT3]\r\nx=3\r\n";

class ProfileCleanup : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        SetMachine(kBuild98);
    }
    std::vector<std::string> ProfileWrites(const std::vector<std::string>& trace) {
        return WithoutResults(Calls(trace, "WriteProfileStringA"));
    }
};

std::string SectionDelete(const std::string& name) {
    return "WriteProfileStringA(\"" + name + "\", NULL, NULL)";
}
const std::string kLineDeletes[] = {
    "WriteProfileStringA(\"Devices\", \"Ovrik Velostrix R40\", NULL)",
    "WriteProfileStringA(\"PrinterPorts\", \"Ovrik Velostrix R40\", NULL)",
};

TEST_F(ProfileCleanup, LocalPortRemovesTheThreeFixedSectionsAndBothLines) {
    PutFile(kIni,
            kOthers +
                "[Devices]\r\nHP LaserJet 4=HPPCL5MS,LPT1:\r\nOvrik Velostrix R40=kdp4mz,LPT2:\r\n"
                "[PrinterPorts]\r\novrik velostrix r40=kdp4mz,LPT2:,15,45\r\nHP LaserJet "
                "4=HPPCL5MS,LPT1:,15,45\r\n"
                "[Ovrik Velostrix R40-LPT1]\r\nq=1\r\n\r\n"
                "[ovrik velostrix r40-file]\r\nq=2\r\n"
                "[Ovrik Velostrix R40-LPT2]\r\nq=3\r\n");
    std::vector<std::string> trace = Run();
    std::vector<std::string> expected = {
        SectionDelete("Ovrik Velostrix R40-LPT1"), SectionDelete("Ovrik Velostrix R40-FILE"),
        SectionDelete("Ovrik Velostrix R40-LPT2"), kLineDeletes[0], kLineDeletes[1]};
    EXPECT_EQ(ProfileWrites(trace), expected);
    EXPECT_EQ(ReadFile(kIni), kOthers + "[Devices]\r\nHP LaserJet 4=HPPCL5MS,LPT1:\r\n"
                                        "[PrinterPorts]\r\nHP LaserJet 4=HPPCL5MS,LPT1:,15,45\r\n");
}

TEST_F(ProfileCleanup, MissingDevicesLineTakesTheFallbackBranch) {
    PutFile(kIni, kOthers + "[Ovrik Velostrix R40-FILE]\r\nq=2\r\n");
    std::vector<std::string> trace = Run();
    ASSERT_EQ(Calls(trace, "GetProfileStringA").size(), 1u);
    EXPECT_EQ(
        Calls(trace, "GetProfileStringA")[0],
        "GetProfileStringA(\"Devices\", \"Ovrik Velostrix R40\", \"kdp4mz,lpt1:\", 150) -> 12 "
        "\"kdp4mz,lpt1:\"");
    EXPECT_EQ(ProfileWrites(trace).size(), 5u);
    EXPECT_EQ(ReadFile(kIni), kOthers);
}

TEST_F(ProfileCleanup, NetworkPortRemovesOnlyItsOwnSection) {
    const std::string fixed =
        "[Ovrik Velostrix R40-LPT1]\r\nq=1\r\n[Ovrik Velostrix R40-FILE]\r\nq=2\r\n"
        "[Ovrik Velostrix R40-LPT2]\r\nq=3\r\n";
    PutFile(kIni, kOthers + fixed +
                      "[Devices]\r\nOvrik Velostrix R40=kdp4mz,\\\\SERVER\\R40,x\r\n"
                      "[Ovrik Velostrix R40-\\\\SERVER\\R40,x]\r\nq=4\r\n"
                      "[Ovrik Velostrix R40-\\\\SERVER\\R40]\r\nq=5\r\n");
    std::vector<std::string> trace = Run();
    std::vector<std::string> expected = {SectionDelete("Ovrik Velostrix R40-\\\\SERVER\\R40,x"),
                                         kLineDeletes[0], kLineDeletes[1]};
    EXPECT_EQ(ProfileWrites(trace), expected);
    EXPECT_EQ(ReadFile(kIni),
              kOthers + fixed + "[Devices]\r\n[Ovrik Velostrix R40-\\\\SERVER\\R40]\r\nq=5\r\n");
}

TEST_F(ProfileCleanup, BackslashAnywhereMeansANetworkPort) {
    struct Case {
        const char* value;
        const char* section; // the one section deleted, or null for none
    };
    const Case cases[] = {
        {"\\drv,LPT1:", "Ovrik Velostrix R40-LPT1:"},
        {"kdp4mz,LPT1:\\", "Ovrik Velostrix R40-LPT1:\\"},
        {"kdp4mz,,\\\\s\\p", "Ovrik Velostrix R40-,\\\\s\\p"},
        {"kdp4mz\\LPT1:", nullptr}, // no comma, no port: no section is guessed
        {"\\", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        PutFile(kIni, std::string("[Devices]\r\nOvrik Velostrix R40=") + c.value + "\r\n");
        std::vector<std::string> expected;
        if (c.section != nullptr)
            expected.push_back(SectionDelete(c.section));
        expected.push_back(kLineDeletes[0]);
        expected.push_back(kLineDeletes[1]);
        EXPECT_EQ(ProfileWrites(Run()), expected);
    }
}

TEST_F(ProfileCleanup, ValueCutShortByTheBufferRemovesNoSection) {
    // 160 characters: GetProfileStringA returns 149 of them, without the backslash.
    const std::string value = "kdp4mz," + std::string(150, 'P') + "\\x";
    PutFile(kIni, "[Devices]\r\nOvrik Velostrix R40=" + value +
                      "\r\n[Ovrik Velostrix R40-LPT1]\r\nq=1\r\n");
    std::vector<std::string> trace = Run();
    EXPECT_NE(Calls(trace, "GetProfileStringA")[0].find(" -> 149 "), std::string::npos);
    std::vector<std::string> expected = {kLineDeletes[0], kLineDeletes[1]};
    EXPECT_EQ(ProfileWrites(trace), expected);
    EXPECT_EQ(ReadFile(kIni), "[Devices]\r\n[Ovrik Velostrix R40-LPT1]\r\nq=1\r\n");
}

TEST_F(ProfileCleanup, LongestWholeValueStillCounts) {
    // 148 characters fit with room to spare, so the value is known to be whole.
    const std::string port = "\\\\" + std::string(139, 'S');
    PutFile(kIni, "[Devices]\r\nOvrik Velostrix R40=kdp4mz," + port + "\r\n[Ovrik Velostrix R40-" +
                      port + "]\r\nq=1\r\n");
    std::vector<std::string> trace = Run();
    EXPECT_NE(Calls(trace, "GetProfileStringA")[0].find(" -> 148 "), std::string::npos);
    EXPECT_EQ(ReadFile(kIni), "[Devices]\r\n");
}

TEST_F(ProfileCleanup, NoWinIniIsNotCreated) {
    std::vector<std::string> trace = Run();
    EXPECT_EQ(ProfileWrites(trace).size(), 5u);
    EXPECT_FALSE(FileExists(kIni));
}

} // namespace
} // namespace qvl::test
