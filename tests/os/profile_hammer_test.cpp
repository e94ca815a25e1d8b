// Two processes writing different entries of one profile at the same time, through a file
// and through the registry: every write of both lands.
#include <gtest/gtest.h>

#include <zo/registry.h>

#include <spawn.h>
#include <string>
#include <sys/wait.h>

#include "support/private_profiles.h"

extern char **environ;

namespace {

using zotest::u;

// Fewer writes under the sanitizers keep the run to seconds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kWrites = 200;
#else
constexpr int kWrites = 1000;
#endif

pid_t startWriter(const std::string &profile, const std::string &prefix) {
    std::string count = std::to_string(kWrites);
    const char *argv[] = {ZO_PROFILE_WRITER, profile.c_str(), prefix.c_str(), count.c_str(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, ZO_PROFILE_WRITER, nullptr, nullptr, const_cast<char **>(argv), environ), 0);
    return pid;
}

int exitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void hammer(const std::string &profile) {
    pid_t first = startWriter(profile, "first");
    pid_t second = startWriter(profile, "second");
    EXPECT_EQ(exitCode(first), 0);
    EXPECT_EQ(exitCode(second), 0);
    int lost = 0;
    for (const char *prefix : {"first", "second"})
        for (int i = 0; i < kWrites; ++i) {
            std::string key = prefix + std::to_string(i);
            unsigned char out[64];
            ntGetProfileString(u("Hammer"), u(key), u(""), out, sizeof out, u(profile), 0);
            lost += "value-" + key != reinterpret_cast<char *>(out);
        }
    EXPECT_EQ(lost, 0) << "of " << 2 * kWrites << " writes";
}

TEST(ProfileHammer, TwoProcessesWritingOneFileLoseNothing) {
    zotest::PrivateProfiles env(zotest::fastTempBase());
    hammer(env.dir().host("hammer.ini"));
}

TEST(ProfileHammer, TwoProcessesWritingOneRegistryLoseNothing) {
    zotest::PrivateProfiles env(zotest::fastTempBase());
    hammer("ZOLIB.INI");
}

} // namespace
