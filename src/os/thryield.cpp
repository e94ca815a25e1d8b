// Services of the calling thread: the Escape check on its key messages, sleeping, and the
// process identifier.
#include <zo/zothread.h>

#include "platform/thread.h"
#include "platform/window.h"

uint16_t bosabort() {
    namespace plat = zo::plat;
    plat::WindowMessage message;
    while (plat::peekMessage(&message, plat::kMsgKeyDown, plat::kMsgKeyUp, true)) {
        if (message.message != plat::kMsgKeyDown)
            continue;
        if (message.wParam == plat::kKeyEscape)
            return 1;
        if (message.wParam != plat::kKeyUp && message.wParam != plat::kKeyDown)
            plat::beep();
    }
    return 0;
}

void bossleep(uint16_t milliseconds) {
    if (milliseconds != 0)
        zo::plat::sleepMilliseconds(milliseconds);
}

void bostskid(uint32_t *id) {
    if (id != nullptr)
        *id = zo::plat::currentProcessId();
}
