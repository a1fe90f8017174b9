// boundaries_test.cpp: sizes at and past every limit, and bytes text readers rarely see.
//
// Names from the driver's footprint appear in machine contents here on purpose, written
// as a user's machine holds them, as an independent check of the removal's tables.
#include "test_support.h"

namespace qvl::test {
namespace {

class Boundaries : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        SetMachine(kBuild95);
    }
};

TEST_F(Boundaries, DescriptionValueSizesAroundTheBuffer) {
    // The printer's name, its zero, and padding up to the size: 259 and 260 bytes fit
    // the 260-byte buffer, 261 do not and the read fails.
    const std::string name = "Ovrik Velostrix R40";
    for (std::size_t size : {259u, 260u, 261u}) {
        SCOPED_TRACE(size);
        Restart();
        std::string data = name + std::string(1, '\0') + std::string(size - name.size() - 1, 'p');
        AddKey("HKEY_LOCAL_MACHINE\\Enum\\Root\\printer\\0000",
               {emu::RegBinary("DeviceDesc", 1, data)});
        Run();
        EXPECT_EQ(KeyExists("HKEY_LOCAL_MACHINE\\Enum\\Root\\printer\\0000"), size == 261);
    }
}

TEST_F(Boundaries, MultiMegabyteWinIni) {
    std::string ini = "[windows]\r\n";
    for (int i = 0; i < 70000; ++i)
        ini += "key" + std::to_string(i) + "=" + std::string(50, static_cast<char>('a' + i % 26)) +
               "\r\n";
    std::string tail = "[Devices]\r\nOvrik Velostrix R40=kdp4mz,LPT1:\r\nHP=x\r\n[Ovrik Velostrix "
                       "R40-FILE]\r\nq=1\r\n";
    PutFile("C:\\WINDOWS\\WIN.INI", ini + tail);
    ASSERT_GT(ini.size(), 4u * 1000 * 1000);
    Run();
    EXPECT_TRUE(SameText(ReadFile("C:\\WINDOWS\\WIN.INI"), ini + "[Devices]\r\nHP=x\r\n"));
}

TEST_F(Boundaries, InfFileOfOneEnormousWord) {
    PutFolder("C:\\WINDOWS\\INF");
    std::string word(5u * 1000 * 1000, 'A');
    PutFile("C:\\WINDOWS\\INF\\oem1.inf", word + "QVL7STAT.EXE");
    PutFile("C:\\WINDOWS\\INF\\oem2.inf", word + "\r\nQVL7STAT.EXE");
    PutFile("C:\\WINDOWS\\INF\\oem3.inf", "QVL7STAT.EXE" + word);
    Run();
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\INF\\oem1.inf"));
    EXPECT_FALSE(FileExists("C:\\WINDOWS\\INF\\oem2.inf"));
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\INF\\oem3.inf"));
}

TEST_F(Boundaries, NulAndHighBytesInEveryTextRead) {
    SetMachine(kBuild98);
    // win.ini: a NUL and high bytes in other lines and in the printer's own value.
    const std::string other = std::string("[Ger\xE4te]\r\nDrucker\xA0=a\0b\r\n", 24);
    PutFile("C:\\WINDOWS\\WIN.INI", other +
                                        "[Devices]\r\nOvrik Velostrix R40=kdp4mz,\xFF"
                                        "LPT1:\r\n" +
                                        "[Ovrik Velostrix R40-LPT1]\r\nx=1\r\n");
    // The Programs folder with high bytes in its name.
    const std::string programs = "C:\\WINDOWS\\Startmen\xFC\\Programme";
    AddKey("HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
           "Folders",
           {emu::RegString("Programs", programs)});
    PutFile(programs + "\\Ovrik Velostrix R40\\How do I for Velostrix R40.LNK", "L");
    // wininit.ini with a NUL and high bytes already in it.
    const std::string wininit("[rename]\r\nNUL=C:\\\xE9t\xE9\0.DLL\r\n", 27);
    PutFile("C:\\WINDOWS\\wininit.ini", wininit);
    Run();
    EXPECT_TRUE(SameText(ReadFile("C:\\WINDOWS\\WIN.INI"), other + "[Devices]\r\n"));
    EXPECT_FALSE(FileExists(programs + "\\Ovrik Velostrix R40"));
    EXPECT_TRUE(SameText(ReadFile("C:\\WINDOWS\\wininit.ini").substr(0, wininit.size() + 37),
                         wininit + "NULL=C:\\WINDOWS\\SYSTEM\\QVL7TN16.DLL\r\n"));
}

} // namespace
} // namespace qvl::test
