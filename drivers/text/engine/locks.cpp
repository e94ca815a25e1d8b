#include "locks.h"

#include <chrono>
#include <cstring>
#include <thread>

#include <zo/bosfile.h>
#include <zo/zoerror.h>

#include "errors.h"

namespace zotext {

namespace {

constexpr uint32_t kSwapRegion = 0;
constexpr uint32_t kTurnRegion = 1;
constexpr uint32_t kFirstTableRegion = 16;
constexpr uint32_t kTableRegions = 1u << 30;

bool openHandle(const std::string &path, uint32_t mode, int *handle) {
    unsigned char name[256];
    if (path.size() >= sizeof name)
        return false;
    std::memcpy(name, path.c_str(), path.size() + 1);
    return bosFileOpen(name, mode, handle) == ZoSuccess;
}

// A lock attempt that fails is expected while another connection holds the region: its
// error record is taken back out of the list.
bool tryLock(int handle, uint32_t offset) {
    ZoErrorList *list = ZoErrorKeeper::getCurrentList();
    ZoError *before = list != nullptr ? list->getLastError() : nullptr;
    if (bosRegionLock(handle, 0, offset, 1) == ZoSuccess)
        return true;
    if (list != nullptr && list->getLastError() != before)
        ZoErrorKeeper::clearLastError();
    return false;
}

} // namespace

LockFile::~LockFile() {
    unlockAllTables();
    if (readDepth_ > 0) {
        readDepth_ = 1;
        endRead();
    }
    (void)bosFileClose(writable_); // closing drops any lock still held
    (void)bosFileClose(readable_);
}

void LockFile::attach(const std::string &lockPath, uint32_t timeoutMs) {
    path_ = lockPath;
    timeoutMs_ = timeoutMs;
}

uint32_t LockFile::regionOf(const std::string &key) {
    uint32_t h = 2166136261u;
    for (unsigned char c : key) {
        h ^= c;
        h *= 16777619u;
    }
    return kFirstTableRegion + h % kTableRegions;
}

bool LockFile::openWritable() {
    if (writable_ != 0)
        return true;
    if (bosexist(reinterpret_cast<const unsigned char *>(path_.c_str())) == 0) {
        int created = 0;
        // Two connections may both create it: the second truncates an empty file, and
        // region locks do not live in the file's bytes.
        if (!openHandle(path_, BOS_CREATE, &created))
            return fail(EngineError::FileError, "cannot create the lock file " + path_);
        (void)bosFileClose(created);
    }
    if (!openHandle(path_, BOS_READWRITE, &writable_))
        return fail(EngineError::FileError, "cannot open the lock file " + path_);
    return true;
}

bool LockFile::waitFor(int handle, uint32_t offset, const char *what) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    auto pause = std::chrono::microseconds(200);
    while (!tryLock(handle, offset)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return fail(EngineError::Busy, std::string("timed out waiting for ") + what);
        std::this_thread::sleep_for(pause);
        if (pause < std::chrono::milliseconds(2))
            pause *= 2;
    }
    return true;
}

void LockFile::release(int handle, uint32_t offset) {
    // Unlocking a region this handle holds does not fail; a failure changes nothing held.
    (void)bosRegionLock(handle, 1, offset, 1);
}

bool LockFile::lockTable(const std::string &key) {
    if (holdsTable(key))
        return true;
    if (!openWritable())
        return false;
    // Two tables of this connection whose names share a region: the region is held already.
    uint32_t region = regionOf(key);
    for (const std::string &held : tables_) {
        if (regionOf(held) == region) {
            tables_.insert(key);
            return true;
        }
    }
    if (!waitFor(writable_, region, ("table " + key + ", which another connection is changing").c_str()))
        return false;
    tables_.insert(key);
    return true;
}

void LockFile::unlockTable(const std::string &key) {
    uint32_t region = regionOf(key);
    if (tables_.erase(key) == 0)
        return;
    for (const std::string &held : tables_)
        if (regionOf(held) == region)
            return;
    release(writable_, region);
}

void LockFile::unlockAllTables() {
    while (!tables_.empty()) {
        std::string key = *tables_.begin(); // a copy: unlocking erases the element
        unlockTable(key);
    }
}

bool LockFile::beginSwap() {
    if (!openWritable() || !waitFor(writable_, kTurnRegion, "other changes to be put in place"))
        return false;
    if (waitFor(writable_, kSwapRegion, "other connections to finish opening their tables"))
        return true;
    release(writable_, kTurnRegion);
    return false;
}

void LockFile::endSwap() {
    release(writable_, kSwapRegion);
    release(writable_, kTurnRegion);
}

void LockFile::beginRead() {
    if (readDepth_++ > 0)
        return;
    if (readable_ == 0 && bosexist(reinterpret_cast<const unsigned char *>(path_.c_str())) != 0) {
        ZoErrorList *list = ZoErrorKeeper::getCurrentList();
        ZoError *before = list != nullptr ? list->getLastError() : nullptr;
        if (!openHandle(path_, 0, &readable_) && list != nullptr && list->getLastError() != before)
            ZoErrorKeeper::clearLastError();
    }
    // Without a lock file no change has ever been put in place through one: go on.
    if (readable_ == 0)
        return;
    // Passing through the turn, not holding it: a reader that held it while it waited would
    // keep a change from taking it.
    bool turn = waitFor(readable_, kTurnRegion, "a change to be put in place");
    if (turn)
        release(readable_, kTurnRegion);
    reading_ = turn && waitFor(readable_, kSwapRegion, "a commit to finish");
    if (!reading_)
        ZoErrorKeeper::clearLastError(); // reading on without the lock is the lesser evil
}

void LockFile::endRead() {
    if (readDepth_ == 0 || --readDepth_ > 0)
        return;
    if (reading_)
        release(readable_, kSwapRegion);
    reading_ = false;
}

} // namespace zotext
