// A module that used the library's worker threads is unloaded, and the library with it:
// no thread of the library may be left to run its code, nor any handler of it registered. A thread that had to be given up
// keeps the library loaded until the process ends, and returns into it safely.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

[[noreturn]] void fail(const char *why) {
    std::fprintf(stderr, "FAIL: %s\n", why);
    std::exit(1);
}

void check(bool condition, const char *what) {
    if (!condition)
        fail(what);
}

bool loaded(const char *library) {
    void *handle = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle != nullptr;
}

template <class Function>
Function symbol(void *module, const char *name) {
    auto *found = reinterpret_cast<Function>(dlsym(module, name));
    if (found == nullptr)
        fail(name);
    return found;
}

std::atomic<int> g_release{0};
std::atomic<int> g_finished{0};

// Ignores the request to end until released; its caller's frame is in the library.
uint32_t stubborn(void *) {
    while (g_release.load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3)
        fail("usage: dlclose_worker <path of the plugin> <path of libzo>");
    const char *plugin = argv[1];
    const char *library = argv[2];
    check(!loaded(library), "the library is not loaded before the plugin");
    for (int round = 0; round < 3; ++round) {
        void *module = dlopen(plugin, RTLD_NOW | RTLD_LOCAL);
        check(module != nullptr, "the plugin loads");
        check(symbol<int (*)()>(module, "runWorkers")() == 0, "the workers answered");
        check(dlclose(module) == 0, "dlclose succeeded");
        check(!loaded(library), "the library was unloaded with the plugin");
    }
    // Nothing of the library is left registered: a fork runs no handler of it.
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = 0;
    check(waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0,
          "a fork after the unload is clean");

    void *module = dlopen(plugin, RTLD_NOW | RTLD_LOCAL);
    check(module != nullptr, "the plugin loads again");
    using Terminate = int (*)(uint32_t(*)(void *), void *);
    check(symbol<Terminate>(module, "terminateThread")(stubborn, nullptr) == 0, "the thread started");
    check(dlclose(module) == 0, "dlclose succeeded");
    check(loaded(library), "a thread given up keeps the library loaded");
    g_release = 1;
    // The thread returns into the library's thread start and ends there.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::puts("1 passed, 0 failed");
    return 0;
}
