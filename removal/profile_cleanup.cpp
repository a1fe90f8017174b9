// profile_cleanup.cpp: removes the printer's lines and per-port sections from win.ini.
#include "removal/profile_cleanup.h"
#include "removal/text.h"

namespace qvl {

namespace {

void DeleteSection(Platform& p, RemovalStorage& s, const char* suffix, const char* port) {
    if (JoinText(s.sectionName, sizeof s.sectionName, PrinterModelName, suffix, port))
        p.WriteProfileStringA(s.sectionName, nullptr, nullptr);
}

} // namespace

void CleanProfile(Platform& platform, RemovalStorage& s) {
    const unsigned size = sizeof s.deviceValue;
    WinDword got = platform.GetProfileStringA(kDevices, PrinterModelName, kFallbackDevice,
                                              s.deviceValue, size);
    s.deviceValue[size - 1] = 0;
    // GetProfileStringA returns size - 1 when it had to cut the value short. The three
    // fixed sections belong to this printer whatever its value says, but a network port
    // read from a cut value may itself be cut, and would name some other section.
    bool whole = got < size - 1;

    if (!Contains(s.deviceValue, '\\')) {
        for (const char* suffix : kFixedPortSuffixes)
            DeleteSection(platform, s, suffix, nullptr);
    } else if (whole) {
        // A network port: the one section named after it. Without a comma there is no
        // port to name a section after.
        const char* comma = s.deviceValue;
        while (*comma && *comma != ',')
            ++comma;
        if (*comma == ',' && CopyText(s.portText, sizeof s.portText, comma + 1))
            DeleteSection(platform, s, "-", s.portText);
    }

    platform.WriteProfileStringA(kDevices, PrinterModelName, nullptr);
    platform.WriteProfileStringA(kPrinterPorts, PrinterModelName, nullptr);
}

} // namespace qvl
