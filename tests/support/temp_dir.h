// A scratch directory for file tests, made fresh and removed with everything in it.
#pragma once

#include <zo/bospath.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace zotest {

class TempDir {
public:
    // A directory under base (the temporary directory by default).
    explicit TempDir(const std::filesystem::path &base = std::filesystem::temp_directory_path()) {
        std::random_device seed;
        for (;;) {
            path_ = base / ("zotest-" + std::to_string(seed()));
            if (std::filesystem::create_directory(path_))
                break;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &host() const { return path_; }
    std::string host(const std::string &name) const { return (path_ / name).string(); }
    // The directory in Windows form on the default drive: `C:\tmp\zotest-123`.
    std::string windows() const {
        std::string w = "C:";
        for (char c : path_.string())
            w += c == '/' ? '\\' : c;
        return w;
    }
    std::string windows(const std::string &name) const { return windows() + "\\" + name; }

    void write(const std::string &name, const std::string &contents) const {
        std::ofstream(path_ / name, std::ios::binary) << contents;
    }
    std::string read(const std::string &name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path path_;
};

// A base for scratch directories of tests that write many small files: a memory file system
// when the host has one (flushing to the device costs nothing there), else the temporary
// directory.
inline std::filesystem::path fastTempBase() {
    std::error_code ignored;
    return std::filesystem::is_directory("/dev/shm", ignored) ? std::filesystem::path("/dev/shm")
                                                              : std::filesystem::temp_directory_path();
}

// Runs with the current directory set to dir, restoring the previous one afterwards.
class InDirectory {
public:
    explicit InDirectory(const std::filesystem::path &dir) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~InDirectory() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

inline const unsigned char *u(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.c_str()); }
inline const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

} // namespace zotest
