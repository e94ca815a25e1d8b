// A thread that was already running when the library was loaded gets its record on its
// first per-thread call, with all slots null.
#include <atomic>
#include <thread>

#include "dl_library.h"

int main(int argc, char **argv) {
    if (argc < 2)
        zotest::DlLibrary::fail("usage: dlopen_late_thread <path of libzo>");
    std::atomic<zotest::DlLibrary *> library{nullptr};
    std::atomic<bool> done{false};
    std::thread early([&] {
        while (library.load() == nullptr)
            std::this_thread::yield();
        zotest::DlLibrary *lib = library.load();
        for (int slot = 0; slot < PerThreadSlotCount; ++slot)
            zotest::check(lib->get(static_cast<PerThreadData>(slot)) == nullptr, "a new record's slots are null");
        static int value = 11;
        lib->set(PerThreadSlot5, &value);
        zotest::check(lib->get(PerThreadSlot5) == &value, "the early thread keeps what it stored");
        done = true;
    });
    // Give the thread time to be running before the library arrives.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    zotest::DlLibrary lib(argv[1]);
    zotest::check(lib.get(PerThreadSlot5) == nullptr, "the loading thread has its own record");
    library = &lib;
    early.join();
    zotest::check(done, "the early thread ran");
    zotest::check(lib.get(PerThreadSlot5) == nullptr, "slots are per thread");
    dlclose(lib.handle);
    std::puts("1 passed, 0 failed");
    return 0;
}
