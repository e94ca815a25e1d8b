// The calling thread's current error list and the ways of adding errors to it.
#include <zo/pertask.h>
#include <zo/zoerror.h>

#include <cstring>

#include "frame/err.h"
#include "frame/errstate.h"
#include "frame/libstate.h"
#include "platform/module.h"

namespace {

constexpr int kResourceBufferSize = 512;  // what the string table is read into
constexpr uint32_t kMessageTextMax = 255; // what a message keeps of it

ZoError &dummyOf(ZoErrorList *list) { return list != nullptr ? list->getDummyError() : zoStaticError(ErrDummyError); }

bool holdsError(ZoErrorList *list) {
    ErrorsMix mix = list->getErrorsMix();
    return mix == ErrorsMixBoth || mix == ErrorsMixErrorsOnly;
}

// Reads message text `number` into out (kMessageTextMax + 1 bytes), cut at a character
// boundary so that no double-byte character loses its second byte.
void loadMessageText(unsigned number, unsigned char *out) {
    unsigned char loaded[kResourceBufferSize];
    mdsLoadResourceString(number & 0xFFFF, loaded, sizeof loaded);
    const unsigned char *lengths = mdsCharLengthTable();
    uint32_t n = 0;
    while (loaded[n] != '\0') {
        uint32_t step = lengths[loaded[n]];
        if (n + step > kMessageTextMax)
            break;
        uint32_t k = 1;
        while (k < step && loaded[n + k] != '\0')
            ++k;
        n += k;
    }
    std::memcpy(out, loaded, n);
    out[n] = '\0';
}

} // namespace

ZoErrorList *ZoErrorKeeper::getCurrentList() {
    return static_cast<ZoErrorList *>(mdsGetPerThreadData(PerThreadErrorList));
}

ZoError &ZoErrorKeeper::addError(ZoError *error) {
    ZoErrorList *list = getCurrentList();
    if (list == nullptr || (holdsError(list) && !list->keepsAll()) || error == nullptr) {
        if (error != nullptr && !error->isStatic())
            delete error;
        return dummyOf(list);
    }
    if (list->keep(error) != ZoSuccess) {
        if (!error->isStatic())
            delete error;
        return list->getDummyError();
    }
    return *error;
}

ZoError *ZoErrorKeeper::getLastError() {
    ZoErrorList *list = getCurrentList();
    return list != nullptr ? list->getLastError() : nullptr;
}

unsigned short ZoErrorKeeper::getLastErrorNumber() {
    ZoError *error = getLastError();
    return error != nullptr ? error->getErrorNumber() : 0;
}

int32_t ZoErrorKeeper::getLastNativeError() {
    ZoError *error = getLastError();
    return error != nullptr ? error->getNativeError() : 0;
}

void ZoErrorKeeper::setLastErrorType(ErrorType type) {
    if (ZoError *error = getLastError())
        error->setWarning(type == ErrorTypeWarning);
}

ZoError &ZoErrorKeeper::appendTextToLastError(const unsigned char *text) {
    ZoError *error = getLastError();
    if (error == nullptr)
        return dummyOf(getCurrentList());
    if (error->isStatic())
        return *error;
    // Without the appended text the values to come would fill the message's own
    // placeholders: they go to the dummy error instead.
    if (error->appendText(text) != ZoSuccess)
        return dummyOf(getCurrentList());
    error->text_.resetCounter();
    return *error;
}

void ZoErrorKeeper::clearLastError() {
    ZoErrorList *list = getCurrentList();
    if (list == nullptr)
        return;
    ZoError *error = list->removeLastError();
    if (error != nullptr && !error->isStatic())
        delete error;
}

void ZoErrorKeeper::addMemoryError() {
    ZoErrorList *list = getCurrentList();
    if (list == nullptr)
        return;
    if (!list->keepsAll() && holdsError(list))
        clearLastError();
    list->listFlags_ |= ZoErrorList::MemoryPending;
}

void ZoErrorKeeper::setErrorList(ZoErrorList *list) {
    void **slot = mdsGetPerThreadDataAddress(PerThreadErrorList);
    // Without a per-thread record (memory exhausted) the list cannot be installed.
    if (list == nullptr || slot == nullptr)
        return;
    list->previous_ = static_cast<ZoErrorList *>(*slot);
    *slot = list;
    list->slot_ = slot;
}

ZoErrorList *ZoErrorKeeper::giveUpErrorList() {
    ZoErrorList *list = getCurrentList();
    if (list == nullptr)
        return nullptr;
    // The list is current in this thread's slot, whoever stored it there.
    *mdsGetPerThreadDataAddress(PerThreadErrorList) = list->previous_;
    list->previous_ = nullptr;
    list->slot_ = nullptr;
    return list;
}

void *ZoErrorKeeper::getOwnerOfList() {
    ZoErrorList *list = getCurrentList();
    return list != nullptr ? list->getOwner() : nullptr;
}

ZoError &addDatabaseError(unsigned short number, int32_t nativeError, const unsigned char *text, ErrorType type) {
    ZoErrorList *list = ZoErrorKeeper::getCurrentList();
    if (list == nullptr)
        return zoStaticError(ErrDummyError);
    return ZoErrorKeeper::addError(list->allocError(number, text, type, 0, nativeError));
}

ZoError &addResourceError(ZoMessage message) {
    ZoErrorList *list = ZoErrorKeeper::getCurrentList();
    if (list == nullptr)
        return zoStaticError(ErrDummyError);
    const unsigned number = static_cast<unsigned>(message);
    unsigned char text[kMessageTextMax + 1];
    loadMessageText(number, text);
    return ZoErrorKeeper::addError(list->allocError(static_cast<uint16_t>(number), text, ErrorTypeError, 0, 0));
}

ZoError &appendResourceText(ZoMessage message) {
    unsigned char text[kMessageTextMax + 1];
    loadMessageText(static_cast<unsigned>(message), text);
    return ZoErrorKeeper::appendTextToLastError(text);
}

int mdsLoadResourceString(unsigned id, unsigned char *buffer, int size) {
    return zo::plat::moduleLoadString(mdsPerTaskRecord().resourceLibrary, id & 0xFFFF, buffer, size);
}
