// The demo's part on trace output and the window layer: a trace file with stamped and
// hexadecimal lines, and pictures of the trace window and of one frame of an about box,
// written next to the file.
#include <zo/zo.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "demo.h"
#include "frame/libstate.h"
#include "platform/draw.h"
#include "platform/window.h"

namespace {

namespace plat = zo::plat;

const unsigned char *text(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

void writeTrace(ZoTrace &trace) {
    trace.setFlags(trace.flags() | ZoTrace::TimeStamps);
    (void)trace.writeLine(text("SQLDriverConnect DSN=Sales;UID=demo")); // the demo shows what it wrote
    (void)trace.writeLine(text("SQLExecDirect SELECT * FROM orders WHERE total > 100"));
    (void)trace.writeString(text("row buffer:"));
    trace.setFlags(trace.flags() | ZoTrace::Hexadecimal);
    const unsigned char row[] = {0x00, 0x2A, 0x4F, 0x72, 0x64, 0x65, 0x72, 0x20, 0x31, 0x37, 0xFF, 0x10, 0x7E};
    (void)trace.writeString(row, sizeof row);
    trace.setFlags(trace.flags() & ~ZoTrace::Hexadecimal);
    (void)trace.writeEol();
    (void)trace.writeLine(text("SQLFreeHandle"));
}

// One frame of the about box's strip: the animation runs until the frame wanted.
struct FrameCatcher {
    HWND window;
    ZoAboutDlgAnimate *animate;
    std::string png;
    int frame = 0;
    bool written = false;
};

void catchFrame(void *context, uint32_t) {
    auto *catcher = static_cast<FrameCatcher *>(context);
    if (catcher->frame++ == 5) {
        catcher->written = plat::writeWindowPng(catcher->window, catcher->png.c_str());
        catcher->animate->stop = 1;
    }
}

bool aboutBoxFrame(const std::string &png) {
    mdsPerTaskInit(); // the icons live in the resource library
    plat::WindowCreate box;
    box.className = plat::kDialogClass;
    box.title = text("About");
    box.style = plat::kStylePopup | plat::kStyleCaption | plat::kStyleVisible;
    box.x = 100;
    box.y = 100;
    box.width = 62;
    box.height = 180;
    HWND window = plat::createWindow(box);
    plat::updateWindow(window);
    ZoAboutDlgAnimate animate;
    animate.instance = mdsPerTaskRecord().resourceLibrary;
    animate.window = window;
    const char *names[] = {"ZOABOUT1", "ZOABOUT2", "ZOABOUT3", "ZOABOUT4"};
    for (int i = 0; i < 4; ++i)
        animate.icons[i] = text(names[i]);
    FrameCatcher catcher{window, &animate, png};
    plat::setFramePauseHook(catchFrame, &catcher);
    zoPerformAnimation(&animate);
    plat::setFramePauseHook(nullptr, nullptr);
    plat::destroyWindow(window);
    mdsPerTaskTerm();
    return catcher.written;
}

} // namespace

void showTrace() {
    std::puts("== trace output and the window layer");
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zo-demo";
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "trace.log").string();
    ZoTrace trace;
    if (trace.initialize(nullptr, 1, text(file.c_str())) != ZoSuccess) {
        std::puts("the trace could not be made");
        return;
    }
    writeTrace(trace);
    plat::moveWindow(trace.window(), 40, 40, 520, 190, true);
    const std::string windowPng = (dir / "trace-window.png").string();
    const bool windowShot = plat::writeWindowPng(trace.window(), windowPng.c_str());
    trace.resetTrace();
    std::printf("trace file %s:\n", file.c_str());
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::printf("  | %s\n", line.c_str());
    }
    if (windowShot)
        std::printf("picture of the trace window: %s\n", windowPng.c_str());
    const std::string aboutPng = (dir / "about-frame.png").string();
    if (aboutBoxFrame(aboutPng))
        std::printf("picture of frame 5 of the about box: %s\n", aboutPng.c_str());
}
