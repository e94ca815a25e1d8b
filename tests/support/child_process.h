// Runs one test of this program in a fresh process, for settings the library reads once
// per process: the child starts from exec (nothing inherited but the environment), with
// the given variables set and the library's other settings cleared.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zotest {

using Environment = std::vector<std::pair<std::string, std::string>>;

// True in a process started by runInChild. The child's test then leaves a mark (the file
// named by ZO_TEST_CHILD), so a parent whose filter matched no test does not pass.
inline bool enterChildProcess() {
    const char *mark = std::getenv("ZO_TEST_CHILD");
    if (mark == nullptr)
        return false;
    if (FILE *file = std::fopen(mark, "w"))
        std::fclose(file);
    return true;
}

// Child-only tests skip themselves in the ordinary run.
#define ZO_CHILD_ONLY()                                                                                                \
    do {                                                                                                               \
        if (!::zotest::enterChildProcess())                                                                            \
            GTEST_SKIP() << "runs in a child process of its parent test";                                              \
    } while (0)

// Runs the test named `test` (Suite.Name) in a child with `environment` and waits for it,
// at most `limit`: a child still running then is killed and counts as failed (a deadlock).
// True when the child's test passed.
inline bool runInChild(const std::string &test, const Environment &environment,
                       std::chrono::seconds limit = std::chrono::seconds(120)) {
    char mark[] = "/tmp/zo_child_XXXXXX";
    int markFile = mkstemp(mark);
    if (markFile < 0)
        return false;
    close(markFile);
    unlink(mark);
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        for (const char *setting : {"ZO_SPIN_COUNT", "ZO_SPIN_SLEEP", "ZO_SEMCONTROL"})
            unsetenv(setting);
        for (const auto &[name, value] : environment)
            setenv(name.c_str(), value.c_str(), 1);
        setenv("ZO_TEST_CHILD", mark, 1);
        std::string filter = "--gtest_filter=" + test;
        execl("/proc/self/exe", "zo_tests", filter.c_str(), "--gtest_brief=1", static_cast<char *>(nullptr));
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << test << " did not finish in time";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    bool ran = unlink(mark) == 0;
    if (!ran)
        ADD_FAILURE() << "no test " << test << " ran in the child";
    return ran && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace zotest
