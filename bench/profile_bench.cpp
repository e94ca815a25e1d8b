// Profiles beside their anchors: one key read 10,000 times from a 200-entry INI file
// against the host ODBC installer's SQLGetPrivateProfileString on the same file, and a
// registry value read through ntGetProfileString against a plain prepared SQLite SELECT of
// the same row in the same database.
//
// The installer keeps the results of key reads for 20 seconds without looking at the file
// again; the library looks at the file's status on every read and answers from the bytes
// it read before while the file is unchanged (and settled: changed more than two seconds
// ago, hence the pause after the file is made). Lists of keys are not kept by the installer:
// the key-list pair compares the reading of the file itself.
#include <zo/registry.h>

#include <benchmark/benchmark.h>

#include <odbcinst.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

constexpr int kReads = 10000;

// 10 sections of 20 entries; the key read is the last one, so a reader scans it all.
struct IniFile {
    fs::path path = fs::temp_directory_path() / "zo_profile_bench.ini";
    IniFile() {
        std::ofstream out(path);
        out << "; settings of a driver\n";
        for (int s = 0; s < 10; ++s) {
            out << "[Section" << s << "]\n";
            for (int k = 0; k < 20; ++k)
                out << "Key" << k << " = value of key " << k << " in section " << s << "\n";
            out << "\n";
        }
    }
    ~IniFile() { fs::remove(path); }
    // Waits until the file counts as settled for the library's reads.
    void settle() const { std::this_thread::sleep_for(std::chrono::milliseconds(2100)); }
};

constexpr const char kValue[] = "value of key 19 in section 9";

// Calls read(out, size) once per iteration and checks what the last call left in out.
template <class Read>
void readRepeatedly(benchmark::State &state, const char *expected, Read read) {
    char out[1024] = {};
    for (auto _ : state)
        benchmark::DoNotOptimize(read(out, static_cast<int>(sizeof out)));
    if (std::strcmp(out, expected) != 0)
        state.SkipWithError("wrong answer");
}

unsigned char *bytes(char *out) { return reinterpret_cast<unsigned char *>(out); }

void BM_ProfileIniRead(benchmark::State &state) {
    IniFile file;
    file.settle();
    readRepeatedly(state, kValue, [&](char *out, int size) {
        return ntGetProfileString(u("Section9"), u("Key19"), u(""), bytes(out), size, u(file.path.c_str()), 0);
    });
}
BENCHMARK(BM_ProfileIniRead)->Iterations(kReads);

void BM_UnixOdbcIniRead(benchmark::State &state) {
    IniFile file;
    readRepeatedly(state, kValue, [&](char *out, int size) {
        return SQLGetPrivateProfileString("Section9", "Key19", "", out, size, file.path.c_str());
    });
}
BENCHMARK(BM_UnixOdbcIniRead)->Iterations(kReads);

// The keys of the last section: the file is read and parsed by both on every call.
void BM_ProfileIniKeyList(benchmark::State &state) {
    IniFile file;
    readRepeatedly(state, "Key0", [&](char *out, int size) {
        return ntGetProfileString(u("Section9"), nullptr, u(""), bytes(out), size, u(file.path.c_str()), 0);
    });
}
BENCHMARK(BM_ProfileIniKeyList)->Iterations(kReads);

void BM_UnixOdbcIniKeyList(benchmark::State &state) {
    IniFile file;
    readRepeatedly(state, "Key0", [&](char *out, int size) {
        return SQLGetPrivateProfileString("Section9", nullptr, "", out, size, file.path.c_str());
    });
}
BENCHMARK(BM_UnixOdbcIniKeyList)->Iterations(kReads);

// A registry database with 200 values in 10 keys; the value read is the last one.
struct RegistryFile {
    fs::path path = fs::temp_directory_path() / "zo_profile_bench.db";
    bool written = true;
    RegistryFile() {
        fs::remove(path);
        setenv("ZO_REGISTRY_USER", path.c_str(), 1);
        zo::plat::registryClose();
        for (int s = 0; s < 10; ++s)
            for (int k = 0; k < 20; ++k) {
                std::string section = "Section" + std::to_string(s), key = "Key" + std::to_string(k);
                std::string value = "value of key " + std::to_string(k) + " in section " + std::to_string(s);
                written &= ntWriteProfileString(u(section.c_str()), u(key.c_str()), u(value.c_str()), u("ZOLIB.INI"),
                                                0) == ZoSuccess;
            }
    }
    ~RegistryFile() {
        zo::plat::registryClose();
        unsetenv("ZO_REGISTRY_USER");
        fs::remove(path);
    }
};

void BM_ProfileRegistryRead(benchmark::State &state) {
    RegistryFile file;
    if (!file.written) {
        state.SkipWithError("the registry could not be written");
        return;
    }
    readRepeatedly(state, kValue, [&](char *out, int size) {
        return ntGetProfileString(u("Section9"), u("Key19"), u(""), bytes(out), size, u("ZOLIB.INI"), 0);
    });
}
BENCHMARK(BM_ProfileRegistryRead)->Iterations(kReads);

// The anchor: the same row by a prepared statement on a connection of its own.
void BM_SqliteSelect(benchmark::State &state) {
    RegistryFile file;
    sqlite3 *db = nullptr;
    sqlite3_stmt *select = nullptr;
    if (!file.written || sqlite3_open_v2(file.path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, "SELECT data FROM vals WHERE path = ?1 AND folded = ?2", -1, &select, nullptr) !=
            SQLITE_OK) {
        state.SkipWithError("the database cannot be read");
        sqlite3_close(db);
        return;
    }
    const char path[] = "software\\talmor\\zolib.ini\\section9";
    readRepeatedly(state, kValue, [&](char *out, int) {
        sqlite3_bind_text(select, 1, path, sizeof path - 1, SQLITE_STATIC);
        sqlite3_bind_text(select, 2, "key19", 5, SQLITE_STATIC);
        int n = 0;
        if (sqlite3_step(select) == SQLITE_ROW) {
            n = sqlite3_column_bytes(select, 0);
            std::memcpy(out, sqlite3_column_blob(select, 0), static_cast<size_t>(n));
            out[n] = '\0';
        }
        sqlite3_reset(select);
        return n;
    });
    sqlite3_finalize(select);
    sqlite3_close(db);
}
BENCHMARK(BM_SqliteSelect)->Iterations(kReads);

} // namespace
