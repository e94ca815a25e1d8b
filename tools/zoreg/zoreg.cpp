// zoreg: the library's registry and profiles from the command line.
//
//   zoreg list   ROOT [KEY]              subkeys (with a trailing \) and values of a key
//   zoreg get    ROOT KEY NAME           a value
//   zoreg set    ROOT KEY NAME DATA      sets a value, making the key
//   zoreg delete ROOT KEY [NAME]         a value, or the key with everything below it
//   zoreg read   FILE SECTION [KEY]      a profile entry, or the keys of a section
//   zoreg write  FILE SECTION KEY [VALUE]  writes a profile entry (no value: deletes it)
//   zoreg where                          the database files and the Windows directory
//
// ROOT is HKCU or HKLM (or HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE); KEY is a key name with
// backslashes. FILE is a profile file name routed as the library routes it: ODBC.INI to
// the host's ODBC installer, the registry-kept profiles to their keys, any other name to
// a file (a bare name in the Windows directory). Exit status: 0 done, 1 not found or not
// done, 2 usage.
#include <zo/pertask.h>
#include <zo/registry.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/registry.h"

namespace {

namespace plat = zo::plat;

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

int usage() {
    std::fputs("usage: zoreg list ROOT [KEY] | get ROOT KEY NAME | set ROOT KEY NAME DATA |\n"
               "             delete ROOT KEY [NAME] | read FILE SECTION [KEY] |\n"
               "             write FILE SECTION KEY [VALUE] | where\n"
               "ROOT: HKCU, HKLM, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE\n",
               stderr);
    return 2;
}

bool rootOf(const std::string &name, plat::RegistryRoot *root) {
    if (name == "HKCU" || name == "HKEY_CURRENT_USER")
        *root = plat::RegistryRoot::CurrentUser;
    else if (name == "HKLM" || name == "HKEY_LOCAL_MACHINE")
        *root = plat::RegistryRoot::LocalMachine;
    else
        return false;
    return true;
}

int report(int result, const char *what) {
    static const char *const meanings[] = {
        "done", "no such key", "no such value", "value too long", "the database cannot be used", "name too long"};
    if (result == plat::RegistryOk)
        return 0;
    std::fprintf(stderr, "zoreg: %s: %s\n", what, meanings[result]);
    return 1;
}

struct Names {
    std::vector<std::string> names;
};

bool collect(void *context, const unsigned char *name, uint32_t length, uint32_t) {
    static_cast<Names *>(context)->names.emplace_back(reinterpret_cast<const char *>(name), length);
    return true;
}

int list(plat::RegistryRoot root, const char *key) {
    const unsigned char *lengths = mdsCharLengthTable();
    Names subkeys, values;
    int result = plat::registryListSubkeys(root, u(key), collect, &subkeys, lengths);
    if (result == plat::RegistryOk)
        result = plat::registryListValues(root, u(key), collect, &values, lengths);
    if (result != plat::RegistryOk)
        return report(result, key);
    for (const std::string &name : subkeys.names)
        std::printf("%s\\\n", name.c_str());
    for (const std::string &name : values.names) {
        std::vector<unsigned char> data(65536);
        uint32_t length = 0;
        if (plat::registryReadValue(root, u(key), u(name.c_str()), data.data(), static_cast<uint32_t>(data.size()),
                                    &length, lengths) == plat::RegistryOk)
            std::printf("%s=%s\n", name.c_str(), reinterpret_cast<char *>(data.data()));
    }
    return 0;
}

int get(plat::RegistryRoot root, const char *key, const char *name) {
    std::vector<unsigned char> data(65536);
    uint32_t length = 0;
    int result = plat::registryReadValue(root, u(key), u(name), data.data(), static_cast<uint32_t>(data.size()),
                                         &length, mdsCharLengthTable());
    if (result == plat::RegistryOk)
        std::printf("%s\n", reinterpret_cast<char *>(data.data()));
    return report(result, name);
}

int registryCommand(const std::string &command, int argc, char **argv) {
    plat::RegistryRoot root;
    if (argc < 3 || !rootOf(argv[2], &root))
        return usage();
    const unsigned char *lengths = mdsCharLengthTable();
    if (command == "list" && argc <= 4)
        return list(root, argc == 4 ? argv[3] : "");
    if (command == "get" && argc == 5)
        return get(root, argv[3], argv[4]);
    if (command == "set" && argc == 6)
        return report(plat::registryWriteValue(root, u(argv[3]), u(argv[4]), u(argv[5]), lengths), argv[3]);
    if (command == "delete" && argc == 5)
        return report(plat::registryDeleteValue(root, u(argv[3]), u(argv[4]), lengths), argv[4]);
    if (command == "delete" && argc == 4)
        return report(plat::registryDeleteKey(root, u(argv[3]), lengths), argv[3]);
    return usage();
}

int read(const char *file, const char *section, const char *key) {
    std::vector<unsigned char> out(65536);
    uint32_t n =
        ntGetProfileString(u(section), u(key), u(""), out.data(), static_cast<uint32_t>(out.size()), u(file), 0);
    if (key != nullptr) {
        std::printf("%s\n", reinterpret_cast<char *>(out.data()));
        return 0;
    }
    for (uint32_t at = 0; at < n && out[at] != '\0';
         at += static_cast<uint32_t>(std::strlen(reinterpret_cast<char *>(out.data() + at))) + 1)
        std::printf("%s\n", reinterpret_cast<char *>(out.data() + at));
    return 0;
}

int where() {
    char user[4096], machine[4096];
    unsigned char windows[4096];
    std::printf("HKEY_CURRENT_USER   %s\n",
                plat::registryDatabasePath(plat::RegistryRoot::CurrentUser, user, sizeof user) ? user : "?");
    std::printf("HKEY_LOCAL_MACHINE  %s\n",
                plat::registryDatabasePath(plat::RegistryRoot::LocalMachine, machine, sizeof machine) ? machine : "?");
    std::printf("Windows directory   %s\n",
                plat::windowsDirectory(windows, sizeof windows) ? reinterpret_cast<char *>(windows) : "?");
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2)
        return usage();
    std::string command = argv[1];
    if (command == "where" && argc == 2)
        return where();
    if (command == "read" && (argc == 4 || argc == 5))
        return read(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    if (command == "write" && (argc == 5 || argc == 6)) {
        ZoStatus written =
            ntWriteProfileString(u(argv[3]), u(argv[4]), argc == 6 ? u(argv[5]) : nullptr, u(argv[2]), 0);
        if (written != ZoSuccess)
            std::fprintf(stderr, "zoreg: %s: the entry was not written\n", argv[2]);
        return written == ZoSuccess ? 0 : 1;
    }
    if (command == "list" || command == "get" || command == "set" || command == "delete")
        return registryCommand(command, argc, argv);
    return usage();
}
