// Points every place where profiles and registry keys are kept at a private temporary
// directory for the life of the object: the Windows directory (ZO_WINDIR), both registry
// databases and the files of the host's ODBC installer (ODBCINI, ODBCSYSINI).
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "platform/profile.h"
#include "platform/registry.h"
#include "support/temp_dir.h"

namespace zotest {

class PrivateProfiles {
public:
    explicit PrivateProfiles(const std::filesystem::path &base = std::filesystem::temp_directory_path()) : dir_(base) {
        std::filesystem::create_directory(dir_.host() / "windows");
        set("ZO_WINDIR", dir_.host("windows"));
        set("ZO_REGISTRY_USER", dir_.host("user.db"));
        set("ZO_REGISTRY_MACHINE", dir_.host("machine.db"));
        set("ODBCINI", dir_.host("odbc.ini"));
        set("ODBCSYSINI", dir_.host().string());
        reset();
    }
    ~PrivateProfiles() {
        for (auto &[name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        reset();
    }
    PrivateProfiles(const PrivateProfiles &) = delete;
    PrivateProfiles &operator=(const PrivateProfiles &) = delete;

    const TempDir &dir() const { return dir_; }
    std::string windows(const std::string &name) const { return dir_.host("windows/" + name); }

private:
    void set(const char *name, const std::string &value) {
        const char *old = std::getenv(name);
        saved_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        setenv(name, value.c_str(), 1);
    }
    static void reset() {
        zo::plat::profileResetForTest();
        zo::plat::registryClose();
    }

    TempDir dir_;
    std::map<std::string, std::optional<std::string>> saved_;
};

} // namespace zotest
