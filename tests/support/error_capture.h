// Gives a test a keep-all error list of its own, with the message texts loaded.
#pragma once

#include <zo/cntdblib.h>
#include <zo/zoerror.h>

#include <string>

namespace zotest {

// While alive: the resource library is held and `list` is the thread's current error list.
class ErrorCapture {
public:
    ErrorCapture() {
        mdsPerTaskInit();
        ZoErrorKeeper::setErrorList(&list);
    }
    ~ErrorCapture() {
        ZoErrorKeeper::giveUpErrorList();
        mdsPerTaskTerm();
    }
    ErrorCapture(const ErrorCapture &) = delete;
    ErrorCapture &operator=(const ErrorCapture &) = delete;

    unsigned short lastNumber() const { return ZoErrorKeeper::getLastErrorNumber(); }
    std::string lastText() const {
        ZoError *error = ZoErrorKeeper::getLastError();
        return error != nullptr ? reinterpret_cast<const char *>(error->getErrorText()) : "";
    }

    ZoErrorList list{nullptr, 1};
};

} // namespace zotest
