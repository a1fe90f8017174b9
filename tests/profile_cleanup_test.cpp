// profile_cleanup_test.cpp: the printer's lines and per-port sections in win.ini.
//
// The section, key and port names stand here as win.ini holds them, on purpose: they
// check the stage's tables from outside rather than restate them.
#include "test_support.h"

#include "removal/profile_cleanup.h"

namespace qvl::test {
namespace {

const std::string kIni = "C:\\WINDOWS\\WIN.INI";

// Sections of other printers and near misses that no case may touch.
const std::string kOthers = "[windows]\r\ndevice=HP LaserJet 4,HPPCL5MS,LPT1:\r\n\r\n"
                            "[HP LaserJet 4-LPT1]\r\nx=1\r\n"
                            "[Ovrik Velostrix R40 Pro-LPT1]\r\nx=2\r\n"
                            "[Ovrik Velostrix R40-LPT3]\r\nx=3\r\n";

// The three fixed per-port sections.
const std::string kFixed = "[Ovrik Velostrix R40-LPT1]\r\nq=1\r\n[Ovrik Velostrix R40-FILE]\r\n"
                           "q=2\r\n[Ovrik Velostrix R40-LPT2]\r\nq=3\r\n";

class ProfileCleanup : public MachineTest {
  protected:
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

TEST_F(ProfileCleanup, LocalPortRemovesTheFixedSectionsAndBothLines) {
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
    EXPECT_TRUE(SameLines(ProfileWrites(trace), expected));
    EXPECT_TRUE(SameText(ReadFile(kIni),
                         kOthers + "[Devices]\r\nHP LaserJet 4=HPPCL5MS,LPT1:\r\n"
                                   "[PrinterPorts]\r\nHP LaserJet 4=HPPCL5MS,LPT1:,15,45\r\n"));
}

TEST_F(ProfileCleanup, MissingDevicesLineTakesTheFallbackBranch) {
    PutFile(kIni, kOthers + "[Ovrik Velostrix R40-FILE]\r\nq=2\r\n");
    std::vector<std::string> trace = Run();
    ASSERT_EQ(Calls(trace, "GetProfileStringA").size(), 1u);
    EXPECT_EQ(
        Calls(trace, "GetProfileStringA")[0],
        "GetProfileStringA(\"Devices\", \"Ovrik Velostrix R40\", \"kdp4mz,lpt1:\", 150) -> 12 "
        "\"kdp4mz,lpt1:\"");
    EXPECT_EQ(ProfileWrites(trace).size(), std::size(kFixedPortSuffixes) + std::size(kLineDeletes));
    EXPECT_TRUE(SameText(ReadFile(kIni), kOthers));
}

TEST_F(ProfileCleanup, NetworkPortRemovesOnlyItsOwnSection) {
    PutFile(kIni, kOthers + kFixed +
                      "[Devices]\r\nOvrik Velostrix R40=kdp4mz,\\\\SERVER\\R40,x\r\n"
                      "[Ovrik Velostrix R40-\\\\SERVER\\R40,x]\r\nq=4\r\n"
                      "[Ovrik Velostrix R40-\\\\SERVER\\R40]\r\nq=5\r\n");
    std::vector<std::string> trace = Run();
    std::vector<std::string> expected = {SectionDelete("Ovrik Velostrix R40-\\\\SERVER\\R40,x"),
                                         kLineDeletes[0], kLineDeletes[1]};
    EXPECT_TRUE(SameLines(ProfileWrites(trace), expected));
    EXPECT_TRUE(SameText(ReadFile(kIni),
                         kOthers + kFixed +
                             "[Devices]\r\n[Ovrik Velostrix R40-\\\\SERVER\\R40]\r\nq=5\r\n"));
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
        EXPECT_TRUE(SameLines(ProfileWrites(Run()), expected));
    }
}

TEST_F(ProfileCleanup, LongValuesAroundTheBuffer) {
    // The value is read into 150 bytes: up to 149 characters come back, and 149 may mean
    // that more were cut off.
    const std::string lpt = "kdp4mz,LPT1:";
    const std::string unc = "kdp4mz,\\\\S\\";
    struct Case {
        std::string value;
        unsigned returned;
        bool fixedGone;   // the three fixed sections
        bool networkGone; // the section named after the whole value's port
    };
    const Case cases[] = {
        {lpt + std::string(136, 'x'), 148, true, false},
        {lpt + std::string(137, 'x'), 149, true, false}, // whole, though the buffer is full
        {lpt + std::string(200, 'x'), 149, true, false},
        // The backslash lies beyond the bytes read: all that shows is a local port.
        {lpt + std::string(140, 'x') + "\\\\S\\P", 149, true, false},
        {unc + std::string(137, 'P'), 148, false, true},
        // A network port cut short would name another section: none is deleted.
        {unc + std::string(138, 'P'), 149, false, false},
        {unc + std::string(200, 'P'), 149, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.size());
        const std::string network = "[Ovrik Velostrix R40-" + c.value.substr(7) + "]\r\nq=4\r\n";
        PutFile(kIni, kFixed + "[Devices]\r\nOvrik Velostrix R40=" + c.value + "\r\n" + network);
        std::vector<std::string> trace = Run();
        EXPECT_NE(
            Calls(trace, "GetProfileStringA")[0].find(" -> " + std::to_string(c.returned) + " "),
            std::string::npos);
        EXPECT_TRUE(SameText(ReadFile(kIni), (c.fixedGone ? "" : kFixed) + "[Devices]\r\n" +
                                                 (c.networkGone ? "" : network)));
    }
}

TEST_F(ProfileCleanup, NoWinIniIsNotCreated) {
    std::vector<std::string> trace = Run();
    EXPECT_EQ(ProfileWrites(trace).size(), std::size(kFixedPortSuffixes) + std::size(kLineDeletes));
    EXPECT_FALSE(FileExists(kIni));
}

} // namespace
} // namespace qvl::test
