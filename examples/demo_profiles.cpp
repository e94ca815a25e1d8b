// Demo: a driver's settings through ZoIni, and a data source through the ODBC installer.
#include <zo/zo.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "demo.h"

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

// Profiles and data sources go to a scratch directory, not to the user's own files.
std::filesystem::path privateDirectory() {
    auto dir = std::filesystem::temp_directory_path() / ("zo-demo-profiles-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("ZO_WINDIR", dir.c_str(), 1);
    setenv("ODBCINI", (dir / "odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir.c_str(), 1);
    return dir;
}

void showDriverSettings() {
    ZoIni ini;
    if (ini.open(u("ZODEMO.INI")) != ZoSuccess)
        return;
    (void)ini.writeEntry(u("Connection"), u("Server"), u("db.example")); // read back below
    (void)ini.writeEntry(u("Connection"), u("Port"), u("5432"));
    unsigned char server[64];
    short port = 0, timeout = 0;
    (void)ini.getEntry(u("connection"), u("SERVER"), server, sizeof server, u("localhost")); // always 0
    (void)ini.getEntry(u("Connection"), u("Port"), &port, 0);
    (void)ini.getEntry(u("Connection"), u("Timeout"), &timeout, 30);
    std::printf("ZoIni on ZODEMO.INI: Server=%s Port=%d Timeout=%d (not set: the default)\n",
                reinterpret_cast<char *>(server), port, timeout);
}

void showDataSource(const std::filesystem::path &dir) {
    ZoStatus written = ntWriteProfileString(u("ZoDemo"), u("Driver"), u("ZoDemoDriver"), u("ODBC.INI"), 0);
    (void)ntWriteProfileString(u("ZoDemo"), u("Database"), u("sales"), u("ODBC.INI"), 0); // shown below
    unsigned char database[64];
    ntGetProfileString(u("ZoDemo"), u("Database"), u("?"), database, sizeof database, u("ODBC.INI"), 0);
    std::printf("data source ZoDemo %s through the ODBC installer; Database=%s\n",
                written == ZoSuccess ? "written" : "NOT written", reinterpret_cast<char *>(database));
    std::ifstream file(dir / "odbc.ini");
    for (std::string line; std::getline(file, line);)
        if (!line.empty())
            std::printf("  odbc.ini: %s\n", line.c_str());
}

} // namespace

void showProfiles() {
    std::puts("== profiles");
    std::filesystem::path dir = privateDirectory();
    showDriverSettings();
    showDataSource(dir);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}
