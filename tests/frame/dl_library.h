// Loads the library by path with dlopen and finds its per-thread accessors, for the tests
// that must control when the library comes and goes.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include <zo/pertask.h>

namespace zotest {

struct DlLibrary {
    using GetFn = void *(*)(PerThreadData);
    using SetFn = void (*)(PerThreadData, const void *);

    explicit DlLibrary(const char *path) {
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            fail(dlerror());
        get = reinterpret_cast<GetFn>(dlsym(handle, "_Z19mdsGetPerThreadData13PerThreadData"));
        set = reinterpret_cast<SetFn>(dlsym(handle, "_Z19mdsSetPerThreadData13PerThreadDataPKv"));
        if (get == nullptr || set == nullptr)
            fail("per-thread accessors not exported");
    }

    [[noreturn]] static void fail(const char *why) {
        std::fprintf(stderr, "FAIL: %s\n", why);
        std::exit(1);
    }

    void *handle;
    GetFn get;
    SetFn set;
};

inline void check(bool condition, const char *what) {
    if (!condition)
        DlLibrary::fail(what);
}

} // namespace zotest
