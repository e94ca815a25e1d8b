#include "errors.h"

#include <zo/zoerror.h>

namespace zotext {

const char *sqlStateOf(uint16_t code) {
    switch (static_cast<EngineError>(code)) {
    case EngineError::Syntax: return "42000";
    case EngineError::NoTable: return "42S02";
    case EngineError::NoColumn: return "42S22";
    case EngineError::TableExists: return "42S01";
    case EngineError::BadNumber: return "22018";
    case EngineError::BadDateTime: return "22007";
    case EngineError::DivisionByZero: return "22012";
    case EngineError::Truncated: return "22001";
    case EngineError::WrongValueCount: return "21S01";
    case EngineError::AmbiguousColumn: return "42000";
    case EngineError::NotGrouped: return "42000";
    case EngineError::ParameterCount: return "07002";
    case EngineError::NoDirectory: return "08001";
    case EngineError::FileError: return "HY000";
    case EngineError::BadTableFile: return "HY000";
    case EngineError::Cancelled: return "HY008";
    case EngineError::OutOfMemory: return "HY001";
    case EngineError::TypeConflict: return "22005";
    case EngineError::UnknownFunction: return "42000";
    case EngineError::UnknownAttribute: return "01S00";
    case EngineError::NotSupported: return "HYC00";
    case EngineError::Busy: return "HYT00";
    case EngineError::IntegerOverflow: return "22003";
    case EngineError::BadEscape: return "22019";
    case EngineError::NotInCodePage: return "22021";
    }
    return "HY000";
}

bool fail(EngineError code, const std::string &text) {
    // A failed text copy still leaves the numbered error, whose SQLSTATE tells the kind.
    (void)addDatabaseError(static_cast<unsigned short>(code), 0, reinterpret_cast<const unsigned char *>(text.c_str()),
                           ErrorTypeError);
    return false;
}

bool failMemory() {
    // The numbered error needs a little memory; when even that is gone the list gets the
    // library's static memory error, which needs none.
    (void)fail(EngineError::OutOfMemory, "out of memory");
    if (ZoErrorKeeper::getLastError() == nullptr)
        ZoErrorKeeper::addMemoryError();
    return false;
}

} // namespace zotext
