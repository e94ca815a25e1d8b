// Shortening a path with ".." so that it fits a control.
#include <zo/pertask.h>
#include <zo/strfuncs.h>
#include <zo/zodialog.h>

#include <cstring>

#include "platform/draw.h"
#include "platform/window.h"

namespace {

namespace plat = zo::plat;

constexpr size_t kPathMax = 255;

// Measures texts in the control's font against its client width.
class ControlMeasure {
public:
    explicit ControlMeasure(HWND control) : control_(control), dc_(plat::getDC(control)) {
        ZoRect client{};
        plat::clientRect(control, &client);
        width_ = client.right - client.left;
    }
    ~ControlMeasure() { plat::releaseDC(control_, dc_); }
    ControlMeasure(const ControlMeasure &) = delete;
    ControlMeasure &operator=(const ControlMeasure &) = delete;

    bool fits(const unsigned char *text) const {
        int32_t width = 0, height = 0;
        return plat::textExtent(dc_, text, static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text))),
                                &width, &height) &&
               width_ >= width;
    }

private:
    HWND control_;
    void *dc_;
    int32_t width_;
};

// Copies at most kPathMax bytes of path, never ending inside a double-byte character.
void copyPath(unsigned char (&out)[kPathMax + 1], const unsigned char *path) {
    const unsigned char *step = mdsCharLengthTable();
    size_t n = 0;
    for (const unsigned char *p = path; *p != '\0';) {
        unsigned length = step[*p];
        if (n + length > kPathMax || std::memchr(p, '\0', length) != nullptr)
            break;
        std::memcpy(out + n, p, length);
        n += length;
        p += length;
    }
    out[n] = '\0';
}

// The last backslash (by character) before offset `end` of path, or -1.
long backslashBefore(const unsigned char *path, size_t end) {
    unsigned char head[kPathMax + 1];
    std::memcpy(head, path, end);
    head[end] = '\0';
    const unsigned char *found = strFindReverse(head, '\\');
    return found != nullptr ? static_cast<long>(found - head) : -1;
}

} // namespace

int fitPathInControl(HWND control, const unsigned char *path, ZOFITPATHOPTION option) {
    if (path == nullptr)
        return 0;
    unsigned char whole[kPathMax + 1];
    copyPath(whole, path);
    ControlMeasure measure(control);
    if (measure.fits(whole))
        return plat::setWindowText(control, whole) ? 1 : 0;
    const size_t length = std::strlen(reinterpret_cast<const char *>(whole));
    long tail = backslashBefore(whole, length);
    if (tail < 0)
        return 0;
    if (option == ZoFitKeepDirectoryAndFile && tail > 0 &&
        (tail = backslashBefore(whole, static_cast<size_t>(tail))) < 0)
        return 0;
    // Each earlier backslash gives a candidate that keeps the path up to it, then "..",
    // then the tail; the kept head shortens by one component each time.
    for (long head = backslashBefore(whole, static_cast<size_t>(tail)); head > 1;
         head = backslashBefore(whole, static_cast<size_t>(head))) {
        unsigned char candidate[kPathMax + 3];
        size_t n = static_cast<size_t>(head) + 1;
        std::memcpy(candidate, whole, n);
        candidate[n++] = '.';
        candidate[n++] = '.';
        std::memcpy(candidate + n, whole + tail, length - static_cast<size_t>(tail) + 1);
        if (measure.fits(candidate))
            return plat::setWindowText(control, candidate) ? 1 : 0;
    }
    return 0;
}
