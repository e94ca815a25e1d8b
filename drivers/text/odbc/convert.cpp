// Conversions between engine values and application buffers.
#include "odbc/convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "odbc/driver.h"

namespace zotext::odbc {
namespace {

// ---- Numbers in text -----------------------------------------------------------------

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(const std::string &text) {
    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return std::string_view(text).substr(begin, end - begin);
}

// A number read from text: an integer when it is written as one, else a double.
struct Number {
    bool isInteger = true;
    int64_t integer = 0;
    double real = 0;
    double asDouble() const { return isInteger ? static_cast<double>(integer) : real; }
};

bool parseNumber(const std::string &text, Number *out) {
    const std::string_view t = trimmed(text);
    if (t.empty())
        return false;
    const char *first = t.data();
    const char *last = t.data() + t.size();
    if (*first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    auto [end, error] = std::from_chars(first, last, out->integer);
    if (error == std::errc() && end == last) {
        out->isInteger = true;
        return true;
    }
    auto [realEnd, realError] = std::from_chars(first, last, out->real);
    if (realError != std::errc() || realEnd != last || std::isnan(out->real))
        return false;
    out->isInteger = false;
    return true;
}

// The numeric value of a value, for numeric targets; false (22018 or 07006 recorded) when
// it has none.
bool numberOf(const Value &value, Number *out) {
    switch (value.kind) {
    case Value::Kind::Integer: *out = Number{true, value.integer, 0}; return true;
    case Value::Kind::Double: *out = Number{false, 0, value.real}; return true;
    case Value::Kind::Text:
        if (parseNumber(value.text, out))
            return true;
        report(EngineError::BadNumber, "The text '" + value.text + "' is not a number.");
        return false;
    default: report(OdbcError::RestrictedType, "A date or time value cannot be converted to a number."); return false;
    }
}

// ---- Dates and times -------------------------------------------------------------------

bool isLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool validDate(int year, int month, int day) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    return day <= days[month - 1] + (month == 2 && isLeap(year) ? 1 : 0);
}

bool validTime(int hour, int minute, int second) {
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

struct DateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
    uint32_t fraction = 0; // nanoseconds
    bool hasDate = false, hasTime = false;
};

// Reads digits[.fraction] of a time's seconds' fraction (up to nine digits count).
bool parseFraction(std::string_view t, uint32_t *fraction) {
    if (t.empty() || t.size() > 9)
        return false;
    uint32_t value = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    for (size_t i = t.size(); i < 9; ++i)
        value *= 10;
    *fraction = value;
    return true;
}

// ISO forms: "YYYY-MM-DD", "HH:MM:SS[.f]", "YYYY-MM-DD HH:MM:SS[.f]" (also with 'T').
bool parseDateTime(const std::string &text, DateTime *out) {
    std::string_view t = trimmed(text);
    *out = DateTime{};
    int consumed = 0;
    std::string copy(t);
    if (t.size() >= 10 && t[4] == '-') {
        if (std::sscanf(copy.c_str(), "%4d-%2d-%2d%n", &out->year, &out->month, &out->day, &consumed) != 3 ||
            consumed != 10 || !validDate(out->year, out->month, out->day))
            return false;
        out->hasDate = true;
        t.remove_prefix(10);
        if (t.empty())
            return true;
        if (t[0] != ' ' && t[0] != 'T')
            return false;
        t.remove_prefix(1);
        copy = std::string(t);
    }
    if (t.size() < 8 || t[2] != ':' ||
        std::sscanf(copy.c_str(), "%2d:%2d:%2d%n", &out->hour, &out->minute, &out->second, &consumed) != 3 ||
        consumed != 8 || !validTime(out->hour, out->minute, out->second))
        return false;
    out->hasTime = true;
    t.remove_prefix(8);
    if (t.empty())
        return true;
    return t[0] == '.' && parseFraction(t.substr(1), &out->fraction);
}

std::string formatDate(int year, int month, int day) {
    char text[32]; // room for any int, though the callers checked the ranges
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

std::string formatTime(int hour, int minute, int second, uint32_t fraction) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minute, second);
    std::string out = text;
    if (fraction != 0) {
        std::snprintf(text, sizeof text, ".%09u", fraction);
        std::string digits = text;
        while (digits.back() == '0')
            digits.pop_back();
        out += digits;
    }
    return out;
}

// The date and time a value stands for, for date and time targets.
bool dateTimeOf(const Value &value, DateTime *out) {
    switch (value.kind) {
    case Value::Kind::Date:
    case Value::Kind::Time:
    case Value::Kind::Timestamp:
    case Value::Kind::Text:
        if (parseDateTime(value.text, out))
            return true;
        report(value.kind == Value::Kind::Text ? EngineError::BadNumber : EngineError::BadDateTime,
               "The text '" + value.text + "' is not a date or time.");
        return false;
    default: report(OdbcError::RestrictedType, "A number cannot be converted to a date or time."); return false;
    }
}

void today(DateTime *out) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    out->year = local.tm_year + 1900;
    out->month = local.tm_mon + 1;
    out->day = local.tm_mday;
}

// ---- Putting fixed-size values ---------------------------------------------------------

template <class T>
SQLRETURN putInteger(const Value &value, void *data) {
    Number n;
    if (!numberOf(value, &n))
        return SQL_ERROR;
    bool fraction = false;
    long double v;
    if (n.isInteger) {
        v = static_cast<long double>(n.integer);
    } else {
        if (!std::isfinite(n.real))
            return fail(OdbcError::NumericRange, "The value is out of range for the application's buffer.");
        v = std::trunc(static_cast<long double>(n.real));
        fraction = v != static_cast<long double>(n.real);
    }
    if (v < static_cast<long double>(std::numeric_limits<T>::min()) ||
        v > static_cast<long double>(std::numeric_limits<T>::max()))
        return fail(OdbcError::NumericRange, "The value is out of range for the application's buffer.");
    T out = n.isInteger ? static_cast<T>(n.integer) : static_cast<T>(v);
    if (data != nullptr)
        std::memcpy(data, &out, sizeof out);
    if (fraction) {
        report(OdbcError::FractionTruncated, "The fractional part of the value was dropped.");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN putBit(const Value &value, void *data) {
    Number n;
    if (!numberOf(value, &n))
        return SQL_ERROR;
    const double v = n.asDouble();
    if (!(v >= 0 && v < 2))
        return fail(OdbcError::NumericRange, "A bit is 0 or 1.");
    const unsigned char bit = v >= 1 ? 1 : 0;
    if (data != nullptr)
        std::memcpy(data, &bit, 1);
    if (v != 0 && v != 1) {
        report(OdbcError::FractionTruncated, "The fractional part of the value was dropped.");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN putReal(const Value &value, void *data, bool single) {
    Number n;
    if (!numberOf(value, &n))
        return SQL_ERROR;
    const double v = n.asDouble();
    if (single) {
        if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
            return fail(OdbcError::NumericRange, "The value is out of range for a float.");
        const float f = static_cast<float>(v);
        if (data != nullptr)
            std::memcpy(data, &f, sizeof f);
    } else if (data != nullptr) {
        std::memcpy(data, &v, sizeof v);
    }
    return SQL_SUCCESS;
}

SQLRETURN putDate(const Value &value, void *data) {
    DateTime dt;
    if (!dateTimeOf(value, &dt))
        return SQL_ERROR;
    if (!dt.hasDate)
        return fail(OdbcError::RestrictedType, "A time of day has no date.");
    SQL_DATE_STRUCT out{static_cast<SQLSMALLINT>(dt.year), static_cast<SQLUSMALLINT>(dt.month),
                        static_cast<SQLUSMALLINT>(dt.day)};
    if (data != nullptr)
        std::memcpy(data, &out, sizeof out);
    if (dt.hasTime && (dt.hour != 0 || dt.minute != 0 || dt.second != 0 || dt.fraction != 0)) {
        report(OdbcError::FractionTruncated, "The time of day was dropped.");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN putTime(const Value &value, void *data) {
    DateTime dt;
    if (!dateTimeOf(value, &dt))
        return SQL_ERROR;
    if (!dt.hasTime && value.kind != Value::Kind::Date)
        return fail(EngineError::BadDateTime, "The value has no time of day.");
    SQL_TIME_STRUCT out{static_cast<SQLUSMALLINT>(dt.hour), static_cast<SQLUSMALLINT>(dt.minute),
                        static_cast<SQLUSMALLINT>(dt.second)};
    if (data != nullptr)
        std::memcpy(data, &out, sizeof out);
    if (dt.fraction != 0) {
        report(OdbcError::FractionTruncated, "The fraction of a second was dropped.");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN putTimestamp(const Value &value, void *data) {
    DateTime dt;
    if (!dateTimeOf(value, &dt))
        return SQL_ERROR;
    if (!dt.hasDate)
        today(&dt);
    SQL_TIMESTAMP_STRUCT out{static_cast<SQLSMALLINT>(dt.year),
                             static_cast<SQLUSMALLINT>(dt.month),
                             static_cast<SQLUSMALLINT>(dt.day),
                             static_cast<SQLUSMALLINT>(dt.hour),
                             static_cast<SQLUSMALLINT>(dt.minute),
                             static_cast<SQLUSMALLINT>(dt.second),
                             dt.fraction};
    if (data != nullptr)
        std::memcpy(data, &out, sizeof out);
    return SQL_SUCCESS;
}

// ---- Reading parameter buffers ---------------------------------------------------------

template <class T>
T load(const void *data) {
    T v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

Value integerValue(int64_t v) {
    Value out;
    out.kind = Value::Kind::Integer;
    out.integer = v;
    return out;
}

Value realValue(double v) {
    Value out;
    out.kind = Value::Kind::Double;
    out.real = v;
    return out;
}

Value textValue(Value::Kind kind, std::string text) {
    Value out;
    out.kind = kind;
    out.text = std::move(text);
    return out;
}

// A NUMERIC structure: up to 128 bits of magnitude, little-endian, with its scale.
Value numericValue(const SQL_NUMERIC_STRUCT &n) {
    long double magnitude = 0;
    for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i)
        magnitude = magnitude * 256 + n.val[i];
    const long double value = (n.sign == 1 ? 1 : -1) * magnitude / std::pow(10.0L, n.scale);
    if (value == std::trunc(value) && std::fabs(value) < 9.2e18L)
        return integerValue(static_cast<int64_t>(value));
    return realValue(static_cast<double>(value));
}

bool readDate(const void *data, Value *out) {
    const auto d = load<SQL_DATE_STRUCT>(data);
    if (!validDate(d.year, d.month, d.day)) {
        report(EngineError::BadDateTime, "The date parameter is not a valid date.");
        return false;
    }
    *out = textValue(Value::Kind::Date, formatDate(d.year, d.month, d.day));
    return true;
}

bool readTime(const void *data, Value *out) {
    const auto t = load<SQL_TIME_STRUCT>(data);
    if (!validTime(t.hour, t.minute, t.second)) {
        report(EngineError::BadDateTime, "The time parameter is not a valid time of day.");
        return false;
    }
    *out = textValue(Value::Kind::Time, formatTime(t.hour, t.minute, t.second, 0));
    return true;
}

bool readTimestamp(const void *data, Value *out) {
    const auto t = load<SQL_TIMESTAMP_STRUCT>(data);
    if (!validDate(t.year, t.month, t.day) || !validTime(t.hour, t.minute, t.second) || t.fraction > 999999999) {
        report(EngineError::BadDateTime, "The timestamp parameter is not a valid date and time.");
        return false;
    }
    *out = textValue(Value::Kind::Timestamp,
                     formatDate(t.year, t.month, t.day) + " " + formatTime(t.hour, t.minute, t.second, t.fraction));
    return true;
}

bool isCharacterSqlType(SQLSMALLINT t) {
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR ||
           t == SQL_WLONGVARCHAR;
}
bool isIntegerSqlType(SQLSMALLINT t) {
    return t == SQL_BIT || t == SQL_TINYINT || t == SQL_SMALLINT || t == SQL_INTEGER || t == SQL_BIGINT;
}
bool isRealSqlType(SQLSMALLINT t) { return t == SQL_REAL || t == SQL_FLOAT || t == SQL_DOUBLE; }
bool isDecimalSqlType(SQLSMALLINT t) { return t == SQL_NUMERIC || t == SQL_DECIMAL; }

// A number for a numeric SQL type: integers stay integers; wholeOnly drops a fraction (with
// 01S07) for the integer types.
bool toNumber(Value *value, bool wholeOnly, bool realOnly) {
    Number n;
    if (!numberOf(*value, &n))
        return false;
    if (realOnly) {
        *value = realValue(n.asDouble());
        return true;
    }
    if (n.isInteger) {
        *value = integerValue(n.integer);
        return true;
    }
    if (!wholeOnly) {
        *value = n.real == std::trunc(n.real) && std::fabs(n.real) < 9.2e18 ? integerValue(static_cast<int64_t>(n.real))
                                                                            : realValue(n.real);
        return true;
    }
    if (!std::isfinite(n.real) || std::fabs(n.real) >= 9.2e18) {
        report(OdbcError::NumericRange, "The parameter is out of range for an integer.");
        return false;
    }
    if (n.real != std::trunc(n.real))
        report(OdbcError::FractionTruncated, "The fractional part of a parameter was dropped.");
    *value = integerValue(static_cast<int64_t>(n.real));
    return true;
}

bool toDateTime(Value *value, Value::Kind kind) {
    DateTime dt;
    if (!dateTimeOf(*value, &dt))
        return false;
    switch (kind) {
    case Value::Kind::Date:
        if (!dt.hasDate) {
            report(EngineError::BadDateTime, "The parameter has no date.");
            return false;
        }
        *value = textValue(kind, formatDate(dt.year, dt.month, dt.day));
        return true;
    case Value::Kind::Time:
        if (!dt.hasTime) {
            report(EngineError::BadDateTime, "The parameter has no time of day.");
            return false;
        }
        *value = textValue(kind, formatTime(dt.hour, dt.minute, dt.second, dt.fraction));
        return true;
    default:
        if (!dt.hasDate)
            today(&dt);
        *value = textValue(kind, formatDate(dt.year, dt.month, dt.day) + " " +
                                     formatTime(dt.hour, dt.minute, dt.second, dt.fraction));
        return true;
    }
}

} // namespace

SQLSMALLINT defaultCType(SQLSMALLINT sqlType) {
    switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_DECIMAL:
    case SQL_NUMERIC: return SQL_C_CHAR;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_TINYINT: return SQL_C_STINYINT;
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_TYPE_DATE:
    case SQL_DATE: return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME:
    case SQL_TIME: return SQL_C_TYPE_TIME;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    default: return SQL_C_BINARY;
    }
}

SQLLEN fixedSize(SQLSMALLINT cType) {
    switch (cType) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_FLOAT: return 4;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT: return 2;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_BIT: return 1;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_DOUBLE: return 8;
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: return sizeof(SQL_TIME_STRUCT);
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    case SQL_C_NUMERIC: return sizeof(SQL_NUMERIC_STRUCT);
    default: return 0;
    }
}

bool isVariableCType(SQLSMALLINT cType) { return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY; }

bool isKnownCType(SQLSMALLINT cType) { return isVariableCType(cType) || fixedSize(cType) != 0; }

TextKind textKindOf(SQLSMALLINT cType) { return cType == SQL_C_WCHAR ? TextKind::Wide : TextKind::Ansi; }

std::string textOf(const Value &value) {
    switch (value.kind) {
    case Value::Kind::Null: return {};
    case Value::Kind::Integer: return std::to_string(value.integer);
    case Value::Kind::Double: {
        char text[64];
        auto [end, error] = std::to_chars(text, text + sizeof text, value.real);
        std::string out(text, error == std::errc() ? end : text);
        if (std::isfinite(value.real) && out.find_first_of(".e") == std::string::npos)
            out += ".0";
        return out;
    }
    default: return value.text;
    }
}

std::string encodedValue(const Value &value, SQLSMALLINT cType) {
    const std::string text = textOf(value);
    return cType == SQL_C_BINARY ? text : encode(text, textKindOf(cType));
}

SQLRETURN putFixed(const Value &value, const Target &target) {
    void *data = target.data;
    switch (target.cType) {
    case SQL_C_LONG:
    case SQL_C_SLONG: return putInteger<int32_t>(value, data);
    case SQL_C_ULONG: return putInteger<uint32_t>(value, data);
    case SQL_C_SHORT:
    case SQL_C_SSHORT: return putInteger<int16_t>(value, data);
    case SQL_C_USHORT: return putInteger<uint16_t>(value, data);
    case SQL_C_TINYINT:
    case SQL_C_STINYINT: return putInteger<int8_t>(value, data);
    case SQL_C_UTINYINT: return putInteger<uint8_t>(value, data);
    case SQL_C_SBIGINT: return putInteger<int64_t>(value, data);
    case SQL_C_UBIGINT: return putInteger<uint64_t>(value, data);
    case SQL_C_BIT: return putBit(value, data);
    case SQL_C_DOUBLE: return putReal(value, data, false);
    case SQL_C_FLOAT: return putReal(value, data, true);
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: return putDate(value, data);
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: return putTime(value, data);
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: return putTimestamp(value, data);
    default: return fail(OdbcError::RestrictedType, "The value cannot be converted to the application's buffer type.");
    }
}

size_t putPiece(const std::string &encoded, size_t offset, const Target &target, bool *truncated) {
    const TextKind kind = textKindOf(target.cType);
    size_t copied = 0;
    if (target.cType == SQL_C_BINARY) {
        const size_t room = target.data != nullptr && target.capacity > 0 ? static_cast<size_t>(target.capacity) : 0;
        copied = std::min(room, encoded.size() - offset);
        if (copied != 0)
            std::memcpy(target.data, encoded.data() + offset, copied);
    } else {
        copied = copyEncoded(encoded, offset, kind, target.data, target.capacity);
    }
    const SQLLEN available = static_cast<SQLLEN>(encoded.size() - offset);
    if (target.length != nullptr)
        *target.length = available;
    if (target.indicator != nullptr && target.indicator != target.length)
        *target.indicator = 0;
    // A column bound with its length word alone only learns the length.
    *truncated = target.data != nullptr && offset + copied < encoded.size();
    if (*truncated)
        report(OdbcError::Truncated, "The data did not fit in the application's buffer.");
    return copied;
}

SQLRETURN putValue(const Value &value, const Target &target) {
    if (value.kind == Value::Kind::Null) {
        SQLLEN *indicator = target.indicator != nullptr ? target.indicator : target.length;
        if (indicator == nullptr)
            return fail(OdbcError::IndicatorRequired, "The value is NULL and no indicator was given.");
        *indicator = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    if (isVariableCType(target.cType)) {
        bool truncated = false;
        (void)putPiece(encodedValue(value, target.cType), 0, target, &truncated); // the length tells
        return truncated ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    }
    const SQLRETURN rc = putFixed(value, target);
    if (rc != SQL_ERROR) {
        if (target.length != nullptr)
            *target.length = fixedSize(target.cType);
        if (target.indicator != nullptr && target.indicator != target.length)
            *target.indicator = 0;
    }
    return rc;
}

bool readValue(SQLSMALLINT cType, const void *data, SQLLEN length, Value *out) {
    if (data == nullptr) {
        report(OdbcError::NullPointer, "A parameter's buffer is null.");
        return false;
    }
    switch (cType) {
    case SQL_C_CHAR:
        *out = textValue(Value::Kind::Text, fromAnsi(static_cast<const SQLCHAR *>(data),
                                                     length == SQL_NTS ? SQL_NTS : SQLINTEGER(length)));
        return true;
    case SQL_C_WCHAR:
        *out = textValue(Value::Kind::Text,
                         fromWide(static_cast<const SQLWCHAR *>(data),
                                  length == SQL_NTS ? SQL_NTS : SQLINTEGER(length / SQLLEN(sizeof(SQLWCHAR)))));
        return true;
    case SQL_C_LONG:
    case SQL_C_SLONG: *out = integerValue(load<int32_t>(data)); return true;
    case SQL_C_ULONG: *out = integerValue(load<uint32_t>(data)); return true;
    case SQL_C_SHORT:
    case SQL_C_SSHORT: *out = integerValue(load<int16_t>(data)); return true;
    case SQL_C_USHORT: *out = integerValue(load<uint16_t>(data)); return true;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT: *out = integerValue(load<int8_t>(data)); return true;
    case SQL_C_UTINYINT: *out = integerValue(load<uint8_t>(data)); return true;
    case SQL_C_BIT: *out = integerValue(load<uint8_t>(data) != 0 ? 1 : 0); return true;
    case SQL_C_SBIGINT: *out = integerValue(load<int64_t>(data)); return true;
    case SQL_C_UBIGINT: {
        const uint64_t v = load<uint64_t>(data);
        if (v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            report(OdbcError::NumericRange, "The parameter is out of range for a 64-bit integer.");
            return false;
        }
        *out = integerValue(static_cast<int64_t>(v));
        return true;
    }
    case SQL_C_DOUBLE: *out = realValue(load<double>(data)); return true;
    case SQL_C_FLOAT: *out = realValue(load<float>(data)); return true;
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: return readDate(data, out);
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: return readTime(data, out);
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: return readTimestamp(data, out);
    case SQL_C_NUMERIC: *out = numericValue(load<SQL_NUMERIC_STRUCT>(data)); return true;
    case SQL_C_BINARY:
        report(OdbcError::RestrictedType, "Binary parameters are not supported: the tables hold text.");
        return false;
    default: report(OdbcError::BufferType, "The parameter's C type is not supported."); return false;
    }
}

bool toSqlType(Value *value, SQLSMALLINT sqlType) {
    if (value->kind == Value::Kind::Null)
        return true;
    if (isCharacterSqlType(sqlType)) {
        if (value->kind != Value::Kind::Text)
            *value = textValue(Value::Kind::Text, textOf(*value));
        return true;
    }
    if (isIntegerSqlType(sqlType))
        return toNumber(value, true, false);
    if (isDecimalSqlType(sqlType))
        return toNumber(value, false, false);
    if (isRealSqlType(sqlType))
        return toNumber(value, false, true);
    switch (sqlType) {
    case SQL_TYPE_DATE:
    case SQL_DATE: return toDateTime(value, Value::Kind::Date);
    case SQL_TYPE_TIME:
    case SQL_TIME: return toDateTime(value, Value::Kind::Time);
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return toDateTime(value, Value::Kind::Timestamp);
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        report(OdbcError::RestrictedType, "Binary parameters are not supported: the tables hold text.");
        return false;
    default: report(OdbcError::SqlType, "The parameter's SQL type is not supported."); return false;
    }
}

} // namespace zotext::odbc
