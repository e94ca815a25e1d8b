// A pointer kept on a window, and a second one beside it, as window properties.
#include <zo/zodialog.h>

#include "platform/window.h"

namespace {

constexpr const char *kPointerProperty = "Handle";
constexpr const char *kSecondPointerProperty = "ScaleH";

} // namespace

void zoSetWinPointer(HWND window, void *pointer) { zo::plat::setProperty(window, kPointerProperty, pointer); }

void *zoGetWinPointer(HWND window) { return zo::plat::property(window, kPointerProperty); }

void zoRemoveWinPointer(HWND window) { zo::plat::removeProperty(window, kPointerProperty); }

void zoSetWinPointer(HWND window, void *pointer, unsigned short) {
    zo::plat::setProperty(window, kSecondPointerProperty, pointer);
}

void *zoGetWinPointer(HWND window, unsigned short) { return zo::plat::property(window, kSecondPointerProperty); }

void zoRemoveWinPointer(HWND window, unsigned short) { zo::plat::removeProperty(window, kSecondPointerProperty); }
