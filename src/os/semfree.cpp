// Destroying a semaphore's backing: the report, closing the platform semaphore (whose place
// in a capped budget is given back) and unregistering.
#include <zo/zosemaph.h>

#include "os/semint.h"
#include "platform/thread.h"

void ZoSemaphore::bosSemaphoreFree() {
    if (info_ != nullptr && (info_->control() & ZoSemaphoreInfo::ShowReports) != 0)
        semReportDestroyed(kind_ == PlatformSemaphore);
    if (kind_ == PlatformSemaphore) {
        zo::plat::semaphoreClose(semaphore_);
        semaphore_ = nullptr;
        kind_ = SpinLock;
        if (info_ != nullptr)
            info_->givePlatformSemaphore();
    }
    if (info_ != nullptr)
        (void)info_->semaphores().removeElement(this); // false: it was never registered
}
