// The library is unloaded while a thread that used it lives on; that thread then exits.
// Nothing of the library may run after it is gone (its thread-exit hook was removed).
#include <atomic>
#include <thread>

#include "dl_library.h"

int main(int argc, char **argv) {
    if (argc < 2)
        zotest::DlLibrary::fail("usage: dlclose_live_thread <path of libzo>");
    for (int round = 0; round < 3; ++round) {
        auto *lib = new zotest::DlLibrary(argv[1]);
        std::atomic<int> stage{0};
        std::thread user([&] {
            static int value = 3;
            lib->set(PerThreadSlot1, &value);
            zotest::check(lib->get(PerThreadSlot1) == &value, "slot stored");
            stage = 1;
            while (stage.load() != 2)
                std::this_thread::yield();
            // Exits after the library was unloaded.
        });
        while (stage.load() != 1)
            std::this_thread::yield();
        zotest::check(dlclose(lib->handle) == 0, "dlclose succeeded");
        void *still = dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD);
        zotest::check(still == nullptr, "the library was really unloaded");
        delete lib;
        stage = 2;
        user.join();
    }
    std::puts("1 passed, 0 failed");
    return 0;
}
