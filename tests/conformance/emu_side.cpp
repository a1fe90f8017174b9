// emu_side.cpp: the conformance rows' machine as an emulated machine folder.
#include "conformance.h"

#include "platform/emu/machine.h"
#include "platform/emu/machine_folder.h"
#include "platform/emu/registry.h"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace qvl::conformance {

namespace {

class EmulatedSide final : public Side {
  public:
    ~EmulatedSide() override { Clean(); }

    bool Seed(const Before& before, std::string* error) override {
        Clean();
        folder_ = emu::MakeTempFolder("qvl-conformance-");
        if (folder_.empty()) {
            *error = "no temporary folder";
            return false;
        }
        std::string registry = "REGEDIT4\r\n\r\n";
        for (const SeedKey& key : before.keys) {
            std::vector<emu::RegValue> values;
            for (const Value& v : key.values)
                values.push_back(emu::RegValue{v.name, v.type, v.data});
            registry += emu::RegBlock(key.path, values);
        }
        bool ok = emu::WriteHostFileAtomically(folder_ + "/registry.reg", registry) &&
                  emu::PutMachineFolder(folder_, "C:\\WINDOWS\\SYSTEM");
        if (before.winIni)
            ok = ok && emu::PutMachineFile(folder_, "C:\\WINDOWS\\WIN.INI", *before.winIni);
        for (const std::string& path : before.folders)
            ok = ok && emu::PutMachineFolder(folder_, path);
        machine_ = std::make_unique<emu::Machine>(folder_);
        for (const SeedFile& file : before.files) {
            ok = ok && emu::PutMachineFile(folder_, file.path, file.bytes);
            // A read-only file is one its owner may not write, as Wine keeps it too.
            std::string host;
            std::error_code ec;
            if (ok && file.readOnly && machine_->HostPath(file.path, &host))
                fs::permissions(
                    host, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, ec);
        }
        if (!ok) {
            *error = "cannot write the machine folder " + folder_;
            return false;
        }
        return machine_->Load(error);
    }

    Platform& Machine() override { return *machine_; }
    void Settle() override { machine_->Save(); }

    bool KeyExists(const std::string& fullPath) override {
        std::string text;
        emu::ReadHostFile(folder_ + "/registry.reg", &text);
        emu::Registry registry;
        registry.Load(text);
        return registry.Exists(emu::ResolveRootAlias(fullPath));
    }

    std::optional<std::string> FileBytes(const std::string& path) override {
        std::string host;
        std::string bytes;
        std::error_code ec;
        if (!machine_->HostPath(path, &host) || !fs::is_regular_file(host, ec) ||
            !emu::ReadHostFile(host, &bytes))
            return std::nullopt;
        return bytes;
    }

    std::string WinIni() override { return FileBytes("C:\\WINDOWS\\WIN.INI").value_or(""); }

    void Clean() override {
        machine_.reset();
        if (!folder_.empty()) {
            std::error_code ec;
            fs::remove_all(folder_, ec);
        }
        folder_.clear();
    }

    bool UnderWine() const override { return false; }
    WinLong LastError() override { return machine_->LastError(); }

  private:
    std::string folder_;
    std::unique_ptr<emu::Machine> machine_;
};

} // namespace

std::unique_ptr<Side> MakeSide() {
    return std::make_unique<EmulatedSide>();
}

} // namespace qvl::conformance
