// Values while the engine works, and SQLite's rules for them: the affinity a column gives
// the text stored in it, conversions for arithmetic and comparison, the order of values,
// and how numbers are written as text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine.h"

namespace zotext {

// What a text value stands for when it leaves the engine: plain text, or an ISO date,
// time or timestamp (kept as text, so they compare and sort as text).
enum class TextKind : uint8_t { Plain, Date, Time, Timestamp };

// NULL, a 64-bit integer, a real, or text. Text is a view: its bytes belong to the row,
// the statement or a buffer of the expression that made it, and live until that moves on.
struct Val {
    enum Type : uint8_t { Null, Int, Real, Text };
    Type type = Null;
    TextKind kind = TextKind::Plain;
    uint32_t size = 0;
    union {
        int64_t i;
        double r;
        const char *s;
    };
    Val() : i(0) {}
    static Val null() { return Val(); }
    static Val integer(int64_t value) {
        Val v;
        v.type = Int;
        v.i = value;
        return v;
    }
    static Val real(double value);
    static Val text(const char *bytes, uint32_t n, TextKind kind = TextKind::Plain) {
        Val v;
        v.type = Text;
        v.s = bytes;
        v.size = n;
        v.kind = kind;
        return v;
    }
    static Val text(std::string_view bytes, TextKind kind = TextKind::Plain) {
        return text(bytes.data(), static_cast<uint32_t>(bytes.size()), kind);
    }
    bool isNull() const { return type == Null; }
    bool isNumber() const { return type == Int || type == Real; }
    std::string_view view() const { return std::string_view(s, size); }
    double asDouble() const { return type == Int ? static_cast<double>(i) : r; }
};

// Column affinity: how a column (or CAST) converts the values given to it.
enum class Affinity : uint8_t { None, Text, Numeric, Integer, Real };

Affinity affinityOf(ColumnType type);

// SQLite's test of a text as a number: blanks around it allowed, a sign, digits, an
// optional fraction and exponent. Returns 0 when the text is no number, 1 for an integer
// (written without '.' or exponent; *integer set when it fits 64 bits, *fits says so), 2
// for any other number (*real set).
int classifyNumber(std::string_view text, int64_t *integer, bool *fits, double *real);

// The affinity's conversion of a value: numeric affinities turn number-like text into
// numbers (INTEGER and NUMERIC keep whole reals as integers, REAL makes every number real),
// TEXT turns numbers into text (written into *buffer, which the result then views).
Val withAffinity(const Val &value, Affinity affinity, std::string *buffer);

// The number a value stands for in arithmetic: text gives the number its longest numeric
// prefix reads as (0 when none), whole values as integers.
Val numericOf(const Val &value);
// As arithmetic needs it, and whether the value is true in a condition (non-zero).
double realOf(const Val &value);
int64_t integerOf(const Val &value);
bool isTrue(const Val &value);

// a % b as SQLite computes it on numbers: the remainder of integers, or of the whole parts
// of reals (then a real). False when the divisor's whole part is 0.
bool remainderOf(const Val &a, const Val &b, Val *out);

// The text of a value as SQLite writes it (reals with at least one decimal: 1.0, 1.0e+20).
// Text views its own bytes; numbers are written into *buffer. NULL gives empty text.
std::string_view textOf(const Val &value, std::string *buffer);
void appendReal(double value, std::string *out);

// The affinity SQLite applies to each side of a comparison of operands with these
// affinities: NUMERIC to a side without a numeric affinity when the other has one; TEXT to a
// side without affinity when the other is TEXT; else none.
void comparisonAffinities(Affinity left, Affinity right, Affinity *applyLeft, Affinity *applyRight);

// SQLite's order: NULL, then numbers by value (integers and reals compared exactly), then
// text by bytes. Negative, zero, positive.
int compareValues(const Val &a, const Val &b);

// Appends bytes that are equal for values SQLite finds equal (1 and 1.0 included) and
// differ for different values: the key of a group, of a DISTINCT value, of a join index.
void appendCanonical(const Val &v, std::string *out);

// Characters of UTF-8 text as SQLite counts them (a byte that continues a character does
// not count; a lone one does).
int64_t characterCount(std::string_view text);

// Between the engine's values and the interface's.
void toPublic(const Val &value, Value *out);
Val fromPublic(const Value &value);

} // namespace zotext
