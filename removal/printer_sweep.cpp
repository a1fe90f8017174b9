// printer_sweep.cpp: finds and deletes the printer's numbered instance keys.
#include "removal/printer_sweep.h"
#include "removal/text.h"

namespace qvl {

namespace {

// Builds the base, a backslash and index as four digits. False past the last index;
// index is 1 or more, as both passes count from 1.
bool BuildInstanceName(RemovalStorage& s, const char* base, std::int32_t index) {
    if (index > kLastIndex)
        return false;
    const char* separator = index < 10     ? "\\000"
                            : index < 100  ? "\\00"
                            : index < 1000 ? "\\0"
                                           : "\\";
    DecimalText(s.digits, sizeof s.digits, index);
    return JoinText(s.keyName, sizeof s.keyName, base, separator, s.digits);
}

bool OpenInstance(Platform& p, RemovalStorage& s, RegKey* key) {
    return p.RegOpenKeyExA(kHkeyLocalMachine, s.keyName, 0, kKeyQueryValue, key) == kErrorSuccess;
}

// Reads the pass's description from the open key and closes it. True when the key
// describes the printer; the decision rests on this key's own data alone.
bool ExamineAndClose(Platform& p, RemovalStorage& s, const SweepPass& pass, RegKey key) {
    WinDword type = 0;
    WinDword size = sizeof s.valueText;
    WinLong read = p.RegQueryValueExA(key, pass.valueName, nullptr, &type,
                                      reinterpret_cast<unsigned char*>(s.valueText), &size);
    p.RegCloseKey(key);
    return read == kErrorSuccess && TerminateValueText(s.valueText, sizeof s.valueText, size) &&
           TextEqual(s.valueText, PrinterModelName);
}

void RunPass(Platform& p, RemovalStorage& s, const SweepPass& pass) {
    std::int32_t index = 1;
    std::int32_t probes = 0;
    RegKey key = 0;
    CopyText(s.keyName, sizeof s.keyName, pass.startKey);
    bool examining = OpenInstance(p, s, &key);
    for (;;) {
        if (examining) {
            if (ExamineAndClose(p, s, pass, key)) {
                p.RegDeleteKeyA(kHkeyLocalMachine, s.keyName);
                // The re-open proves the deletion. A key that is still there is passed
                // over like a deleted one, or the same key would be examined forever.
                if (OpenInstance(p, s, &key))
                    p.RegCloseKey(key);
            } else {
                if (!BuildInstanceName(s, pass.base, index))
                    return;
                ++index;
                if (OpenInstance(p, s, &key))
                    continue; // the next key of a run costs nothing
            }
            if (++probes > kProbeBudget)
                return;
            examining = false;
        }
        if (probes > kProbeBudget || !BuildInstanceName(s, pass.base, index))
            return;
        ++index;
        bool opened = OpenInstance(p, s, &key);
        ++probes;
        if (opened) {
            if (++probes > kProbeBudget) {
                p.RegCloseKey(key);
                return;
            }
            examining = true;
        }
    }
}

} // namespace

void SweepPrinterInstances(Platform& platform, RemovalStorage& storage) {
    for (const SweepPass& pass : kPasses)
        RunPass(platform, storage, pass);
}

} // namespace qvl
