// Error reporting: numbered error records, the per-thread error list and its facade.
//
// A driver installs a ZoErrorList of its own as the calling thread's current list
// (ZoErrorKeeper::setErrorList) on entry to an operation and gives it up on exit. Layers
// that fail record a numbered error in the current list and fill the placeholders of its
// text with <<. Unless the list keeps all errors, only the first error is kept: later
// ones go to the shared dummy error, on which << does nothing.
#pragma once

#include <cstdint>

#include <zo/messages.h>
#include <zo/zoexport.h>
#include <zo/zolist.h>
#include <zo/zoparams.h>
#include <zo/zosorted.h>

// 1 is a warning; any other value (0 is used) an error.
enum ErrorType : int { ErrorTypeError = 0, ErrorTypeWarning = 1 };

// The two special errors every process has.
enum ErrSpecialError : int { ErrMemoryError = 1, ErrDummyError = 2 };

// What a list holds (result of getErrorsMix).
enum ErrorsMix : int {
    ErrorsMixEmpty = 0,
    ErrorsMixBoth = 1, // errors and warnings
    ErrorsMixErrorsOnly = 2,
    ErrorsMixWarningsOnly = 3
};

// Number and built-in text of the memory error, which needs no allocation.
constexpr uint16_t ZoMemoryErrorNumber = static_cast<uint16_t>(ZoMessage::OutOfMemory);

class ZoErrorList;

// One diagnostic record: a number (also the id of its message text in the resource
// library), the native error of the underlying system, and a text with numbered
// placeholders. Static errors (the memory and dummy errors) are shared by all threads and
// never change: << on them does nothing.
class ZO_API ZoError : public ZoNode {
public:
    enum : uint32_t { Warning = 0x1, Static = 0x2, MemoryError = 0x4, Dummy = 0x8 };

    // The text is copied (a null text is empty); type 1 makes a warning. When the copy
    // fails the text stays empty (allocError then gives the error up).
    ZoError(uint16_t number, const unsigned char *text, ErrorType type, uint16_t auxCode, int32_t nativeError);
    // A static error: kind 1 the memory error (number 30190), kind 2 the dummy error.
    explicit ZoError(ErrSpecialError kind);
    ~ZoError() override;

    uint16_t getErrorNumber() const { return number_; }
    int32_t getNativeError() const { return nativeError_; }
    uint16_t getAuxCode() const { return auxCode_; }
    uint32_t getFlags() const { return flags_; }
    bool isWarning() const { return (flags_ & Warning) != 0; }
    bool isStatic() const { return (flags_ & Static) != 0; }
    void setWarning(bool warning);

    // The text, NUL-terminated; "Out Of Memory" for the memory error.
    const unsigned char *getErrorText();
    // Appends to the text (not to a static error). Fails when memory is exhausted.
    ZoStatus appendText(const unsigned char *text);

    // Fill the next placeholder. On a static error they do nothing and return it; when the
    // value cannot be put in (memory exhausted) they return the current list's dummy
    // error, so that the rest of a chain is ignored.
    ZoError &operator<<(const unsigned char *text);
    ZoError &operator<<(const char *text) { return *this << reinterpret_cast<const unsigned char *>(text); }
    ZoError &operator<<(uint32_t value);
    ZoError &operator<<(int32_t value);
    ZoError &operator<<(const ZoSubString &text);

private:
    friend class ZoErrorList;
    friend class ZoErrorKeeper;

    friend void zoReleaseStaticErrorTexts();

    // The result of a << that filled (or failed to fill) a placeholder.
    ZoError &filled(ZoStatus status);

    int32_t nativeError_ = 0;
    uint16_t number_ = 0;
    uint16_t auxCode_ = 0;
    ZoParamString text_;
    uint8_t reserved_ = 0;
    uint32_t flags_ = 0;
};

// A thread's list of errors, in the order they were added. It owns the errors in it and
// deletes them when destroyed; the two static errors are never in it. At most 65,535
// errors are kept (the cursor is 16 bits); more are dropped.
class ZO_API ZoErrorList : public ZoSortedArray {
public:
    enum : uint32_t { KeepAll = 0x1, MemoryPending = 0x2 };

    explicit ZoErrorList(void *owner = nullptr, unsigned keepAll = 1);
    // Deletes the errors. A list destroyed while it is still its thread's current list is
    // taken off first, so the thread's slot never points at a dead list.
    ~ZoErrorList() override;

    // The memory error and the dummy error of this list (the process's static ones), and
    // the maker of its error records. A derived list may provide its own.
    virtual ZoError &getMemoryError();
    virtual ZoError &getDummyError();
    // A new error with the given number, text, type and native error, and auxiliary code
    // 0; null when memory is exhausted.
    virtual ZoError *allocError(uint16_t number, const unsigned char *text, ErrorType type, uint16_t auxCode,
                                int32_t nativeError);

    // The memory error while one is pending, else the last error; null when empty.
    ZoError *getLastError();
    // Take the pending memory error (clearing it) or the last / first error out of the
    // list; the caller owns a removed error. The cursor goes back to 0.
    ZoError *removeLastError();
    ZoError *removeFirstError();
    // What the array holds (the pending memory error is not counted). Moves the cursor.
    ErrorsMix getErrorsMix();
    // Appends the texts of all errors to out, the low byte of separator between two
    // texts. Fails when out cannot grow, with the texts appended so far.
    ZoStatus concatErrors(ZoString *out, unsigned short separator);
    // Makes every error after index pos a warning.
    void setWarningAfterPos(uint32_t pos);
    // Appends the text to the error at index pos and every error after it.
    void appendTextStartingAtPos(const unsigned char *text, uint32_t pos);
    // Moves the last error to index pos (taken modulo 65,536) when pos is below the count.
    void moveLastErrorToPos(uint32_t pos);

    // Iteration through the cursor: element 0, the element at the cursor, element pos;
    // each leaves the cursor after the element returned (null and no change past the end).
    ZoNode *getFirstNode();
    ZoNode *getNextNode();
    ZoNode *getNodeAtPos(uint32_t pos);

    void *getOwner() const { return owner_; }
    uint32_t getListFlags() const { return listFlags_; }
    bool keepsAll() const { return (listFlags_ & KeepAll) != 0; }
    bool memoryErrorPending() const { return (listFlags_ & MemoryPending) != 0; }

private:
    friend class ZoErrorKeeper;

    ZoError *errorAt(uint32_t index) const { return static_cast<ZoError *>(getAt(index)); }
    ZoError *takeMemoryError();
    ZoError *removeAt(uint32_t index);
    // Appends an error the list is to own; fails when the list is full or cannot grow.
    ZoStatus keep(ZoError *error);

    void *owner_;
    uint32_t listFlags_;
    ZoErrorList *previous_ = nullptr;
    void **slot_ = nullptr;
    uint16_t cursor_ = 0;
};

// The calling thread's current list (per-thread slot PerThreadErrorList) and the
// operations on it. With no current list they do nothing: adders return the dummy error,
// getters null or 0.
class ZO_API ZoErrorKeeper {
public:
    // Keeps the error (see the class comment of this file) and returns it, or deletes it
    // and returns the dummy error when the list already holds an error and does not keep
    // all. A null error (allocation failed) gives the dummy error.
    static ZoError &addError(ZoError *error);
    static ZoError *getLastError();
    static unsigned short getLastErrorNumber();
    static int32_t getLastNativeError();
    // Type 1 makes the last error a warning, any other type an error.
    static void setLastErrorType(ErrorType type);
    // Appends to the last error's text; its next << fills placeholder 1 of the appended
    // text. The dummy error when there is no last error.
    static ZoError &appendTextToLastError(const unsigned char *text);
    // Removes the last error (or the pending memory error) and deletes it unless static.
    static void clearLastError();
    // Records exhausted memory without allocating: the memory error takes the place of a
    // held error unless the list keeps all.
    static void addMemoryError();
    // Pushes list as the thread's current list; giveUpErrorList pops it and returns it.
    static void setErrorList(ZoErrorList *list);
    static ZoErrorList *giveUpErrorList();
    static void *getOwnerOfList();
    // The thread's current list, null when none is installed.
    static ZoErrorList *getCurrentList();
};

// Adds an error with the given number, native error, text and type to the current list.
ZO_API ZoError &addDatabaseError(unsigned short number, int32_t nativeError, const unsigned char *text, ErrorType type);
