// Fuzzes dialog texts as they come from a driver's templates: a format with its argument
// given an accelerator (makeDialogText), and a path fitted to a control (fitPathInControl),
// in code pages 1252 and 932. The output buffers are exactly as large as promised (256 bytes
// for a text that may grow), so a byte written beyond them is caught by the sanitizer; the
// result must be terminated, at most 255 bytes long, and hold the marker.
#include <zo/cntdblib.h>
#include <zo/zodialog.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "platform/window.h"

// The font configuration library's caches are its own, never given back.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

using zofuzz::check;
using zofuzz::useCodePage;

namespace {

HWND control() {
    static HWND made = [] {
        mdsPerTaskInit(); // the marker string lives in the resource library
        zo::plat::WindowCreate create;
        create.className = zo::plat::kEditClass;
        create.style = zo::plat::kStylePopup;
        create.x = 0;
        create.y = 0;
        create.width = 120;
        create.height = 20;
        return zo::plat::createWindow(create);
    }();
    return made;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    useCodePage((data[0] & 1) ? 932 : 1252);
    const bool withArgument = (data[0] & 2) != 0;
    // The format (at most 255 bytes), then the argument, split at the first 0 byte.
    const uint8_t *end = data + size;
    const uint8_t *split = static_cast<const uint8_t *>(std::memchr(data + 1, 0, size - 1));
    std::vector<unsigned char> format(data + 1, split != nullptr ? split : end);
    if (format.size() > 255)
        format.resize(255);
    std::vector<unsigned char> argument(split != nullptr ? split + 1 : end, end);
    argument.push_back(0);
    std::vector<unsigned char> text(256, 0);
    if (!format.empty())
        std::memcpy(text.data(), format.data(), format.size());
    unsigned char used[32] = {};
    makeDialogText(used, text.data(), withArgument ? argument.data() : nullptr);
    const size_t length = std::strlen(reinterpret_cast<const char *>(text.data()));
    check(length <= 255);
    unsigned char marker[256];
    getMenuAccelerator(marker);
    check(marker[0] == '\0' || std::memchr(text.data(), marker[0], length) != nullptr);
    (void)fitPathInControl(control(), argument.data(), (data[0] & 4) ? ZoFitKeepDirectoryAndFile : ZoFitKeepFile);
    return 0;
}
