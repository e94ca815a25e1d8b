#include "value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zotext {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the longest prefix of text (after leading blanks, which it includes) that reads
// as a number; *hasDotOrExponent tells whether it needs a real.
size_t numericPrefix(std::string_view text, bool *hasDotOrExponent) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < text.size() && isDigit(text[i]))
        ++i, ++digits;
    *hasDotOrExponent = false;
    if (i < text.size() && text[i] == '.') {
        size_t j = i + 1;
        size_t fraction = 0;
        while (j < text.size() && isDigit(text[j]))
            ++j, ++fraction;
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
            *hasDotOrExponent = true;
        }
    }
    if (digits == 0)
        return start;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        size_t exponent = 0;
        while (j < text.size() && isDigit(text[j]))
            ++j, ++exponent;
        if (exponent > 0) {
            i = j;
            *hasDotOrExponent = true;
        }
    }
    return i;
}

// The integer written in digits (with an optional sign), when it fits 64 bits.
bool parseInteger(std::string_view text, int64_t *value) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    uint64_t n = 0;
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        uint64_t digit = static_cast<uint64_t>(text[i] - '0');
        if (n > (limit - digit) / 10)
            return false;
        n = n * 10 + digit;
    }
    *value = negative ? static_cast<int64_t>(0 - n) : static_cast<int64_t>(n);
    return true;
}

// The number of a numeric prefix as numericPrefix delimits it (blanks and a sign first).
double parseReal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i < text.size() && text[i] == '+')
        ++i;
    double value = 0;
    std::from_chars_result r = std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        std::string copy(text); // strtod gives the infinities and zeros that overflow makes
        return std::strtod(copy.c_str(), nullptr);
    }
    return value;
}

// A real that is a whole number inside the 64-bit range, as that integer.
bool wholeReal(double r, int64_t *value) {
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
        return false;
    int64_t n = static_cast<int64_t>(r);
    if (static_cast<double>(n) != r)
        return false;
    *value = n;
    return true;
}

int compareIntReal(int64_t i, double r) {
    if (std::isnan(r))
        return 1;
    if (r < -9223372036854775808.0)
        return 1;
    if (r >= 9223372036854775808.0)
        return -1;
    int64_t whole = static_cast<int64_t>(r);
    if (i != whole)
        return i < whole ? -1 : 1;
    double fraction = r - static_cast<double>(whole);
    return fraction > 0 ? -1 : fraction < 0 ? 1 : 0;
}

} // namespace

Val Val::real(double value) {
    if (std::isnan(value))
        return Val(); // SQLite has no NaN: it becomes NULL
    Val v;
    v.type = Real;
    v.r = value;
    return v;
}

Affinity affinityOf(ColumnType type) {
    switch (type) {
    case ColumnType::Integer: return Affinity::Integer;
    case ColumnType::Double: return Affinity::Real;
    case ColumnType::Varchar: return Affinity::Text;
    case ColumnType::Date:
    case ColumnType::Time:
    case ColumnType::Timestamp: return Affinity::Numeric;
    }
    return Affinity::None;
}

int classifyNumber(std::string_view text, int64_t *integer, bool *fits, double *real) {
    bool dotOrExponent = false;
    size_t end = numericPrefix(text, &dotOrExponent);
    size_t start = 0;
    while (start < end && isBlank(text[start]))
        ++start;
    if (end == start)
        return 0;
    for (size_t i = end; i < text.size(); ++i)
        if (!isBlank(text[i]))
            return 0;
    std::string_view number = text.substr(0, end);
    if (dotOrExponent) {
        *real = parseReal(number);
        return 2;
    }
    *fits = parseInteger(number, integer);
    if (!*fits)
        *real = parseReal(number);
    return 1;
}

Val withAffinity(const Val &value, Affinity affinity, std::string *buffer) {
    switch (affinity) {
    case Affinity::None: return value;
    case Affinity::Text:
        if (!value.isNumber())
            return value;
        return Val::text(textOf(value, buffer));
    case Affinity::Numeric:
    case Affinity::Integer:
    case Affinity::Real: break;
    }
    Val number = value;
    if (value.type == Val::Text) {
        int64_t integer = 0;
        bool fits = false;
        double real = 0;
        switch (classifyNumber(value.view(), &integer, &fits, &real)) {
        case 0: return value;
        case 1: number = fits ? Val::integer(integer) : Val::real(real); break;
        default:
            number = Val::real(real);
            if (affinity != Affinity::Real && wholeReal(real, &integer))
                number = Val::integer(integer);
        }
    }
    if (affinity == Affinity::Real && number.type == Val::Int)
        return Val::real(static_cast<double>(number.i));
    return number;
}

Val numericOf(const Val &value) {
    if (value.type != Val::Text)
        return value;
    // As SQLite's arithmetic reads text: the number its numeric prefix spells (0 for none),
    // an integer unless the prefix has a decimal point or an exponent or does not fit.
    std::string_view text = value.view();
    bool dotOrExponent = false;
    std::string_view number = text.substr(0, numericPrefix(text, &dotOrExponent));
    int64_t integer = 0;
    if (!dotOrExponent && parseInteger(number, &integer))
        return Val::integer(integer);
    return Val::real(parseReal(number));
}

double realOf(const Val &value) {
    Val number = numericOf(value);
    return number.type == Val::Int ? static_cast<double>(number.i) : number.type == Val::Real ? number.r : 0.0;
}

int64_t integerOf(const Val &value) {
    Val number = numericOf(value);
    if (number.type == Val::Int)
        return number.i;
    if (number.type != Val::Real)
        return 0;
    if (number.r >= 9223372036854775807.0)
        return INT64_MAX;
    if (number.r <= -9223372036854775808.0)
        return INT64_MIN;
    return static_cast<int64_t>(number.r);
}

bool remainderOf(const Val &a, const Val &b, Val *out) {
    Val x = numericOf(a);
    Val y = numericOf(b);
    int64_t dividend = integerOf(x);
    int64_t divisor = integerOf(y);
    if (divisor == 0)
        return false;
    int64_t r = divisor == -1 ? 0 : dividend % divisor;
    *out = x.type == Val::Int && y.type == Val::Int ? Val::integer(r) : Val::real(static_cast<double>(r));
    return true;
}

bool isTrue(const Val &value) {
    switch (value.type) {
    case Val::Null: return false;
    case Val::Int: return value.i != 0;
    case Val::Real: return value.r != 0;
    case Val::Text: break;
    }
    return realOf(value) != 0;
}

void appendReal(double value, std::string *out) {
    if (value == 0)
        value = 0; // -0.0 is written as 0.0
    if (std::isinf(value)) {
        *out += value < 0 ? "-Inf" : "Inf";
        return;
    }
    char text[40];
    int n = std::snprintf(text, sizeof text, "%.15g", value);
    std::string_view written(text, static_cast<size_t>(n));
    size_t exponent = written.find('e');
    if (written.find('.') != std::string_view::npos) {
        *out += written;
    } else if (exponent == std::string_view::npos) {
        *out += written;
        *out += ".0";
    } else {
        *out += written.substr(0, exponent);
        *out += ".0";
        *out += written.substr(exponent);
    }
}

std::string_view textOf(const Val &value, std::string *buffer) {
    switch (value.type) {
    case Val::Null: return std::string_view();
    case Val::Text: return value.view();
    case Val::Int: *buffer = std::to_string(value.i); break;
    case Val::Real:
        buffer->clear();
        appendReal(value.r, buffer);
        break;
    }
    return *buffer;
}

void comparisonAffinities(Affinity left, Affinity right, Affinity *applyLeft, Affinity *applyRight) {
    auto numeric = [](Affinity a) { return a == Affinity::Integer || a == Affinity::Real || a == Affinity::Numeric; };
    *applyLeft = *applyRight = Affinity::None;
    if (numeric(left) && !numeric(right))
        *applyRight = Affinity::Numeric;
    else if (numeric(right) && !numeric(left))
        *applyLeft = Affinity::Numeric;
    else if (left == Affinity::Text && right == Affinity::None)
        *applyRight = Affinity::Text;
    else if (right == Affinity::Text && left == Affinity::None)
        *applyLeft = Affinity::Text;
}

int compareValues(const Val &a, const Val &b) {
    if (a.type == Val::Null || b.type == Val::Null)
        return (a.type != Val::Null) - (b.type != Val::Null);
    bool aText = a.type == Val::Text;
    bool bText = b.type == Val::Text;
    if (aText || bText) {
        if (!(aText && bText))
            return aText ? 1 : -1;
        size_t common = a.size < b.size ? a.size : b.size;
        int c = common == 0 ? 0 : std::memcmp(a.s, b.s, common);
        if (c != 0)
            return c < 0 ? -1 : 1;
        return (a.size > b.size) - (a.size < b.size);
    }
    if (a.type == Val::Int && b.type == Val::Int)
        return (a.i > b.i) - (a.i < b.i);
    if (a.type == Val::Real && b.type == Val::Real)
        return (a.r > b.r) - (a.r < b.r);
    if (a.type == Val::Int)
        return compareIntReal(a.i, b.r);
    return -compareIntReal(b.i, a.r);
}

// Appends a value so that values SQLite finds equal (1 and 1.0 included) append the same
// bytes, and different values different ones.
void appendCanonical(const Val &v, std::string *out) {
    int64_t whole = 0;
    switch (v.type) {
    case Val::Null: *out += 'N'; return;
    case Val::Real:
        if (v.r >= -9223372036854775808.0 && v.r < 9223372036854775808.0 &&
            static_cast<double>(whole = static_cast<int64_t>(v.r)) == v.r) {
            *out += 'I';
            out->append(reinterpret_cast<const char *>(&whole), sizeof whole);
            return;
        }
        *out += 'R';
        out->append(reinterpret_cast<const char *>(&v.r), sizeof v.r);
        return;
    case Val::Int:
        *out += 'I';
        out->append(reinterpret_cast<const char *>(&v.i), sizeof v.i);
        return;
    case Val::Text: {
        *out += 'T';
        uint32_t n = v.size;
        out->append(reinterpret_cast<const char *>(&n), sizeof n);
        out->append(v.s, v.size);
        return;
    }
    }
}

int64_t characterCount(std::string_view text) {
    int64_t count = 0;
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[i++]);
        ++count;
        if (lead >= 0xC0)
            while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
                ++i;
    }
    return count;
}

void toPublic(const Val &value, Value *out) {
    switch (value.type) {
    case Val::Null:
        out->kind = Value::Kind::Null;
        out->text.clear();
        return;
    case Val::Int:
        out->kind = Value::Kind::Integer;
        out->integer = value.i;
        out->text.clear();
        return;
    case Val::Real:
        out->kind = Value::Kind::Double;
        out->real = value.r;
        out->text.clear();
        return;
    case Val::Text: break;
    }
    switch (value.kind) {
    case TextKind::Plain: out->kind = Value::Kind::Text; break;
    case TextKind::Date: out->kind = Value::Kind::Date; break;
    case TextKind::Time: out->kind = Value::Kind::Time; break;
    case TextKind::Timestamp: out->kind = Value::Kind::Timestamp; break;
    }
    out->text.assign(value.s, value.size);
}

Val fromPublic(const Value &value) {
    switch (value.kind) {
    case Value::Kind::Null: return Val::null();
    case Value::Kind::Integer: return Val::integer(value.integer);
    case Value::Kind::Double: return Val::real(value.real);
    case Value::Kind::Text: return Val::text(value.text);
    case Value::Kind::Date: return Val::text(value.text, TextKind::Date);
    case Value::Kind::Time: return Val::text(value.text, TextKind::Time);
    case Value::Kind::Timestamp: return Val::text(value.text, TextKind::Timestamp);
    }
    return Val::null();
}

} // namespace zotext
