#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/all_or_nothing.h"
#include "support/temp_dir.h"

namespace plat = zo::plat;

namespace {

struct Folder {
    zotest::TempDir dir;
};

// Every file of the folder with its contents: a stray temporary counts as a change too.
std::string listing(const Folder &f) {
    std::string all;
    for (const auto &entry : std::filesystem::directory_iterator(f.dir.host()))
        all += entry.path().filename().string() + "=" + f.dir.read(entry.path().filename().string()) + ";";
    return all;
}

// Writes text in full into a new or truncated file.
ZoStatus writeFile(const std::string &path, const std::string &text, bool sync) {
    int fd = -1;
    if (plat::fileOpen(path.c_str(), plat::FileOpenCreate, &fd) != plat::FileOk)
        return ZoFailure;
    uint32_t written = 0;
    const auto length = static_cast<uint32_t>(text.size());
    bool whole = plat::fileWrite(fd, text.data(), length, &written) == plat::FileOk && written == length;
    bool synced = whole && (!sync || plat::fileSync(fd) == plat::FileOk);
    bool closed = plat::fileClose(fd) == plat::FileOk;
    return whole && synced && closed ? ZoSuccess : ZoFailure;
}

// The sound way to replace a file: write a temporary, sync it, rename it over the file.
ZoStatus saveThroughTemporary(Folder &f) {
    const std::string temporary = f.dir.host("f.new");
    if (writeFile(temporary, "new text", true) == ZoSuccess &&
        plat::fileReplace(temporary.c_str(), f.dir.host("f").c_str()) == plat::FileOk)
        return ZoSuccess;
    (void)plat::fileRemove(temporary.c_str()); // best effort: the save has failed either way
    return ZoFailure;
}

zotest::AllOrNothing<Folder, std::string> save(std::function<ZoStatus(Folder &)> step) {
    return {
        .setUp = [](Folder &f) { f.dir.write("f", "old text"); },
        .state = listing,
        .step = step,
        .after = [](const Folder &f) { EXPECT_EQ(listing(f), "f=new text;"); },
    };
}

TEST(AllOrNothing, DrivesEveryFileFaultOfASoundSave) {
    std::vector<uint32_t> points = save(saveThroughTemporary).run(zotest::fileFaults());
    // open, read, write, short write, disk full, sync, rename
    EXPECT_EQ(points, (std::vector<uint32_t>{1, 0, 1, 1, 1, 1, 1}));
}

// The messages of the failures the check reports while running the step.
std::vector<std::string> reportedFailures(const std::function<void()> &check) {
    testing::TestPartResultArray results;
    {
        testing::ScopedFakeTestPartResultReporter intercept(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        check();
    }
    std::vector<std::string> messages;
    for (int i = 0; i < results.size(); ++i)
        messages.push_back(results.GetTestPartResult(i).message());
    return messages;
}

bool anyContains(const std::vector<std::string> &messages, const std::string &part) {
    for (const std::string &m : messages)
        if (m.find(part) != std::string::npos)
            return true;
    return false;
}

// Steps that are not all or nothing, each with the complaint the check must make.
TEST(AllOrNothing, ReportsStepsThatAreNotAllOrNothing) {
    struct Case {
        const char *name;
        std::function<void()> check;
        const char *complaint;
    };
    const Case cases[] = {
        {"in-place rewrite",
         [] { save([](Folder &f) { return writeFile(f.dir.host("f"), "new text", true); }).run(zotest::fileFaults()); },
         "the failed step changed the state"},
        {"unchecked short write",
         [] {
             save([](Folder &f) {
                 int fd = -1;
                 if (plat::fileOpen(f.dir.host("f").c_str(), plat::FileOpenCreate, &fd) != plat::FileOk)
                     return ZoFailure;
                 uint32_t written = 0;
                 int result = plat::fileWrite(fd, "new text", 8, &written);
                 (void)plat::fileClose(fd); // the outcome is judged by the write alone
                 return result == plat::FileOk ? ZoSuccess : ZoFailure;
             }).run(zotest::fileFault("short write", plat::FileOp::Write, plat::FileFault::ShortWrite));
         },
         "the step met the fault and reported success"},
        {"unchecked allocation",
         [] {
             zotest::AllOrNothing<int> ignoresNull{.step = [](int &) {
                 ramFree(ramAlloc(8));
                 return ZoSuccess;
             }};
             ignoresNull.run(zotest::allocationFailure());
         },
         "the step met the fault and reported success"},
        {"failure without a fault",
         [] { zotest::AllOrNothing<int>{.step = [](int &) { return ZoFailure; }}.run(zotest::allocationFailure()); },
         "the step failed with no fault injected"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(anyContains(reportedFailures(c.check), c.complaint));
    }
}

} // namespace
