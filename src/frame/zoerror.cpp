// Error records and the error list.
#include <zo/zoerror.h>

#include <cstring>

#include "frame/errstate.h"

namespace {

constexpr unsigned char kOutOfMemoryText[] = "Out Of Memory";
constexpr unsigned char kEmptyText[] = "";
// The cursor is 16 bits: a list keeps no more errors than it can count through.
constexpr uint32_t kMaxErrors = 0xFFFF;

ZoError &currentDummyError() {
    ZoErrorList *list = ZoErrorKeeper::getCurrentList();
    return list != nullptr ? list->getDummyError() : zoStaticError(ErrDummyError);
}

} // namespace

// ---- ZoError

ZoError::ZoError(uint16_t number, const unsigned char *text, ErrorType type, uint16_t auxCode, int32_t nativeError)
    : nativeError_(nativeError), number_(number), auxCode_(auxCode),
      flags_(type == ErrorTypeWarning ? uint32_t{Warning} : 0u) {
    // A failed copy marks the text failed; allocError checks that and drops the error.
    (void)text_.initialize(text != nullptr ? text : kEmptyText);
}

ZoError::ZoError(ErrSpecialError kind) : flags_(Static) {
    if (kind == ErrMemoryError) {
        number_ = ZoMemoryErrorNumber;
        flags_ |= MemoryError;
    } else if (kind == ErrDummyError) {
        flags_ |= Dummy;
    }
}

ZoError::~ZoError() = default;

void ZoError::setWarning(bool warning) {
    if (!isStatic())
        flags_ = warning ? (flags_ | Warning) : (flags_ & ~Warning);
}

const unsigned char *ZoError::getErrorText() {
    if ((flags_ & MemoryError) != 0)
        return kOutOfMemoryText;
    unsigned char *data = text_.data();
    if (data == nullptr)
        return kEmptyText;
    data[text_.length()] = '\0'; // the string always keeps room for it
    return data;
}

ZoStatus ZoError::appendText(const unsigned char *text) {
    if (isStatic())
        return ZoFailure;
    return text_.concat(text != nullptr ? text : kEmptyText);
}

ZoError &ZoError::filled(ZoStatus status) { return status == ZoSuccess ? *this : currentDummyError(); }

ZoError &ZoError::operator<<(const unsigned char *text) { return isStatic() ? *this : filled(text_.setParam(text)); }

ZoError &ZoError::operator<<(uint32_t value) { return isStatic() ? *this : filled(text_.setParam(value)); }

ZoError &ZoError::operator<<(int32_t value) { return isStatic() ? *this : filled(text_.setParam(value)); }

ZoError &ZoError::operator<<(const ZoSubString &text) { return isStatic() ? *this : filled(text_.setParam(text)); }

// ---- ZoErrorList

ZoErrorList::ZoErrorList(void *owner, unsigned keepAll) : owner_(owner), listFlags_(keepAll & KeepAll) {
    // Errors stay in the order they were added.
    setSortMode(AppendMode | DeferredSort);
}

ZoErrorList::~ZoErrorList() {
    if (slot_ != nullptr && *slot_ == this)
        *slot_ = previous_;
    listFlags_ &= ~MemoryPending;
    for (uint32_t i = 0; i < getCount(); ++i)
        if (!errorAt(i)->isStatic())
            delete errorAt(i);
}

ZoError &ZoErrorList::getMemoryError() { return zoStaticError(ErrMemoryError); }

ZoError &ZoErrorList::getDummyError() { return zoStaticError(ErrDummyError); }

ZoError *ZoErrorList::allocError(uint16_t number, const unsigned char *text, ErrorType type, uint16_t,
                                 int32_t nativeError) {
    auto *error = new ZoError(number, text, type, 0, nativeError);
    if (error != nullptr && error->text_.failed()) {
        delete error;
        return nullptr;
    }
    return error;
}

ZoStatus ZoErrorList::keep(ZoError *error) {
    if (getCount() >= kMaxErrors)
        return ZoFailure;
    return add(error);
}

ZoError *ZoErrorList::getLastError() {
    if (memoryErrorPending())
        return &getMemoryError();
    return getCount() == 0 ? nullptr : errorAt(getCount() - 1);
}

ZoError *ZoErrorList::takeMemoryError() {
    listFlags_ &= ~MemoryPending;
    return &getMemoryError();
}

ZoError *ZoErrorList::removeAt(uint32_t index) {
    ZoError *error = errorAt(index);
    removeAtIndex(index);
    cursor_ = 0;
    return error;
}

ZoError *ZoErrorList::removeLastError() {
    if (memoryErrorPending())
        return takeMemoryError();
    return getCount() == 0 ? nullptr : removeAt(getCount() - 1);
}

ZoError *ZoErrorList::removeFirstError() {
    if (memoryErrorPending())
        return takeMemoryError();
    return getCount() == 0 ? nullptr : removeAt(0);
}

ErrorsMix ZoErrorList::getErrorsMix() {
    bool errors = false;
    bool warnings = false;
    for (ZoNode *node = getFirstNode(); node != nullptr; node = getNextNode()) {
        if (static_cast<ZoError *>(node)->isWarning())
            warnings = true;
        else
            errors = true;
    }
    if (errors)
        return warnings ? ErrorsMixBoth : ErrorsMixErrorsOnly;
    return warnings ? ErrorsMixWarningsOnly : ErrorsMixEmpty;
}

ZoStatus ZoErrorList::concatErrors(ZoString *out, unsigned short separator) {
    // Counted up front: should growing out record an error in this very list, that error
    // is not part of the texts asked for.
    const uint32_t count = getCount();
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char *text = errorAt(i)->getErrorText();
        uint32_t textLength = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text)));
        uint64_t needed = uint64_t{out->length()} + textLength + 2;
        if (needed > UINT32_MAX)
            return ZoFailure;
        if (out->data() == nullptr || out->capacity() < needed) {
            if (out->resize(static_cast<uint32_t>(needed)) != ZoSuccess)
                return ZoFailure;
        }
        // The room made above covers the separator, the text and a NUL: these cannot fail.
        if (i > 0)
            (void)out->concat(static_cast<unsigned char>(separator & 0xFF));
        (void)out->concat(text, textLength);
    }
    return ZoSuccess;
}

void ZoErrorList::setWarningAfterPos(uint32_t pos) {
    for (uint32_t i = pos + 1; i > pos && i < getCount(); ++i)
        errorAt(i)->setWarning(true);
}

void ZoErrorList::appendTextStartingAtPos(const unsigned char *text, uint32_t pos) {
    // An error whose text cannot grow keeps the text it has; the others still get theirs.
    for (uint32_t i = pos; i < getCount(); ++i)
        (void)errorAt(i)->appendText(text);
}

void ZoErrorList::moveLastErrorToPos(uint32_t pos) {
    uint32_t count = getCount();
    if (count == 0 || pos >= count)
        return;
    ZoError *last = errorAt(count - 1);
    removeAtIndex(count - 1);
    // The slot just vacated takes it back: no growth, so this cannot fail.
    (void)addAtIndex(last, pos & 0xFFFF);
}

ZoNode *ZoErrorList::getFirstNode() { return getNodeAtPos(0); }

ZoNode *ZoErrorList::getNextNode() { return getNodeAtPos(cursor_); }

ZoNode *ZoErrorList::getNodeAtPos(uint32_t pos) {
    if (pos >= getCount())
        return nullptr;
    cursor_ = static_cast<uint16_t>(pos + 1);
    return errorAt(pos);
}
