// WIN.INI for the mail tests: a Windows directory of the test's own, with the [Mail]
// entries the test writes.
#pragma once

#include <zo/registry.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/profile.h"
#include "support/temp_dir.h"

namespace zotest {

class MailProfile {
public:
    MailProfile() {
        const char *previous = std::getenv("ZO_WINDIR");
        hadPrevious_ = previous != nullptr;
        previous_ = hadPrevious_ ? previous : "";
        setenv("ZO_WINDIR", dir_.host().c_str(), 1);
        zo::plat::profileResetForTest();
    }
    ~MailProfile() {
        if (hadPrevious_)
            setenv("ZO_WINDIR", previous_.c_str(), 1);
        else
            unsetenv("ZO_WINDIR");
        zo::plat::profileResetForTest();
    }
    MailProfile(const MailProfile &) = delete;
    MailProfile &operator=(const MailProfile &) = delete;

    // Writes (or, with a null value, deletes) an entry of [Mail] in WIN.INI.
    void set(const char *key, const char *value) {
        EXPECT_EQ(ntWriteProfileString(u("Mail"), u(key), value != nullptr ? u(value) : nullptr, u("WIN.INI"), 0),
                  ZoSuccess);
    }
    const TempDir &dir() const { return dir_; }

private:
    TempDir dir_;
    bool hadPrevious_;
    std::string previous_;
};

} // namespace zotest
