#include "functions.h"

#include <cmath>
#include <cstring>

#include <zo/strfuncs.h>

#include "datetime.h"
#include "errors.h"
#include "schema.h"
#include "textmode.h"

namespace zotext {

namespace {

enum class Fn : uint8_t {
    Upper,
    Lower,
    Length,
    Substring,
    Left,
    Right,
    Concat,
    LeftTrim,
    RightTrim,
    Trim,
    Locate,
    Instr,
    Abs,
    Round,
    Mod,
    IfNull,
    Coalesce,
    NullIf,
    CurrentDate,
    CurrentTime,
    Now,
    Least,
    Greatest
};

struct FunctionName {
    const char *name;
    Fn fn;
    uint8_t minArgs;
    uint8_t maxArgs; // 255: any number
};

constexpr FunctionName kFunctions[] = {
    {"UCASE", Fn::Upper, 1, 1},
    {"UPPER", Fn::Upper, 1, 1},
    {"LCASE", Fn::Lower, 1, 1},
    {"LOWER", Fn::Lower, 1, 1},
    {"LENGTH", Fn::Length, 1, 1},
    {"CHAR_LENGTH", Fn::Length, 1, 1},
    {"CHARACTER_LENGTH", Fn::Length, 1, 1},
    {"SUBSTRING", Fn::Substring, 2, 3},
    {"SUBSTR", Fn::Substring, 2, 3},
    {"LEFT", Fn::Left, 2, 2},
    {"RIGHT", Fn::Right, 2, 2},
    {"CONCAT", Fn::Concat, 2, 255},
    {"LTRIM", Fn::LeftTrim, 1, 2},
    {"RTRIM", Fn::RightTrim, 1, 2},
    {"TRIM", Fn::Trim, 1, 2},
    {"LOCATE", Fn::Locate, 2, 3},
    {"INSTR", Fn::Instr, 2, 2},
    {"ABS", Fn::Abs, 1, 1},
    {"ROUND", Fn::Round, 1, 2},
    {"MOD", Fn::Mod, 2, 2},
    {"IFNULL", Fn::IfNull, 2, 2},
    {"COALESCE", Fn::Coalesce, 2, 255},
    {"NULLIF", Fn::NullIf, 2, 2},
    {"CURDATE", Fn::CurrentDate, 0, 0},
    {"CURRENT_DATE", Fn::CurrentDate, 0, 0},
    {"CURTIME", Fn::CurrentTime, 0, 0},
    {"CURRENT_TIME", Fn::CurrentTime, 0, 0},
    {"NOW", Fn::Now, 0, 0},
    {"CURRENT_TIMESTAMP", Fn::Now, 0, 0},
    {"MIN", Fn::Least, 2, 255},
    {"MAX", Fn::Greatest, 2, 255},
};

// Byte offset of character `index` (0-based) of UTF-8 text, as characterCount counts them;
// the text's size when it has fewer characters.
size_t offsetOfCharacter(std::string_view text, int64_t index) {
    size_t i = 0;
    for (int64_t n = 0; n < index && i < text.size(); ++n) {
        unsigned char lead = static_cast<unsigned char>(text[i++]);
        if (lead >= 0xC0)
            while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
                ++i;
    }
    return i;
}

// The characters [start, start + count) of the text (both already clamped to >= 0).
std::string_view characters(std::string_view text, int64_t start, int64_t count) {
    size_t from = offsetOfCharacter(text, start);
    std::string_view rest = text.substr(from);
    return rest.substr(0, offsetOfCharacter(rest, count));
}

ColumnType resultType(Fn fn, const std::vector<NodePtr> &args) {
    switch (fn) {
    case Fn::Length:
    case Fn::Locate:
    case Fn::Instr: return ColumnType::Integer;
    case Fn::Round: return ColumnType::Double;
    case Fn::Abs:
    case Fn::Mod: return args[0]->type == ColumnType::Integer ? ColumnType::Integer : ColumnType::Double;
    case Fn::CurrentDate: return ColumnType::Date;
    case Fn::CurrentTime: return ColumnType::Time;
    case Fn::Now: return ColumnType::Timestamp;
    case Fn::IfNull:
    case Fn::Coalesce:
    case Fn::NullIf:
    case Fn::Least:
    case Fn::Greatest: return args[0]->type;
    default: return ColumnType::Varchar;
    }
}

class FunctionNode : public Node {
public:
    FunctionNode(Fn fn, std::vector<NodePtr> args) : fn_(fn), args_(std::move(args)), values_(args_.size()) {
        type = resultType(fn_, args_);
        size = 0;
        // The clock's functions change from row to row.
        constant = fn_ != Fn::CurrentDate && fn_ != Fn::CurrentTime && fn_ != Fn::Now;
        for (const NodePtr &arg : args_) {
            addOperands({arg.get()});
            size = size > arg->size ? size : arg->size;
        }
        if (fn_ == Fn::Concat) {
            size = 0;
            for (const NodePtr &arg : args_)
                size += arg->size;
        }
        if (type != ColumnType::Varchar || size == 0)
            size = columnSizeOf(type, size);
    }

    bool eval(const RowFrame &frame, Val *out) override {
        for (size_t i = 0; i < args_.size(); ++i)
            if (!args_[i]->eval(frame, &values_[i]))
                return false;
        switch (fn_) {
        case Fn::IfNull:
        case Fn::Coalesce:
            for (const Val &v : values_) {
                if (!v.isNull()) {
                    *out = v;
                    return true;
                }
            }
            *out = Val::null();
            return true;
        case Fn::NullIf: *out = compareValues(values_[0], values_[1]) == 0 ? Val::null() : values_[0]; return true;
        case Fn::CurrentDate:
            result_ = currentDate();
            *out = Val::text(result_, TextKind::Date);
            return true;
        case Fn::CurrentTime:
            result_ = currentTimestamp().substr(11);
            *out = Val::text(result_, TextKind::Time);
            return true;
        case Fn::Now:
            result_ = currentTimestamp();
            *out = Val::text(result_, TextKind::Timestamp);
            return true;
        default: break;
        }
        // The other functions are NULL when an argument is.
        for (const Val &v : values_) {
            if (v.isNull()) {
                *out = Val::null();
                return true;
            }
        }
        return compute(out);
    }

private:
    std::string_view text(size_t i) {
        if (buffers_.size() < values_.size())
            buffers_.resize(values_.size());
        return textOf(values_[i], &buffers_[i]);
    }

    bool compute(Val *out) {
        switch (fn_) {
        case Fn::Upper:
        case Fn::Lower: {
            // ASCII letters only, as SQLite's upper() and lower().
            result_.assign(text(0));
            for (char &c : result_) {
                if (fn_ == Fn::Upper && c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 32);
                else if (fn_ == Fn::Lower && c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c + 32);
            }
            *out = Val::text(result_);
            return true;
        }
        case Fn::Length: *out = Val::integer(characterCount(text(0))); return true;
        case Fn::Substring: return substring(out);
        case Fn::Left:
        case Fn::Right: {
            std::string_view s = text(0);
            int64_t n = integerOf(values_[1]);
            if (n < 0)
                n = 0;
            int64_t length = characterCount(s);
            int64_t start = fn_ == Fn::Left || n >= length ? 0 : length - n;
            result_.assign(characters(s, start, n));
            *out = Val::text(result_);
            return true;
        }
        case Fn::Concat:
            result_.clear();
            for (size_t i = 0; i < values_.size(); ++i)
                result_.append(text(i));
            *out = Val::text(result_);
            return true;
        case Fn::LeftTrim:
        case Fn::RightTrim:
        case Fn::Trim: return trim(out);
        case Fn::Locate: {
            // LOCATE(needle, haystack [, start]): 1-based character position, 0 when absent.
            int64_t start = values_.size() == 3 ? integerOf(values_[2]) : 1;
            return find(text(1), text(0), start < 1 ? 1 : start, out);
        }
        case Fn::Instr: return find(text(0), text(1), 1, out);
        case Fn::Abs: return absolute(out);
        case Fn::Round: return round(out);
        case Fn::Mod: return modulo(out);
        case Fn::Least:
        case Fn::Greatest: {
            size_t best = 0;
            for (size_t i = 1; i < values_.size(); ++i) {
                int c = compareValues(values_[i], values_[best]);
                if (fn_ == Fn::Least ? c < 0 : c > 0)
                    best = i;
            }
            *out = values_[best];
            return true;
        }
        default: *out = Val::null(); return true;
        }
    }

    // SQLite's substr(): a negative start counts from the end, start 0 is the place before
    // the first character, a negative count takes characters before the start.
    bool substring(Val *out) {
        std::string_view s = text(0);
        int64_t p1 = integerOf(values_[1]);
        int64_t p2 = INT64_MAX / 4;
        bool negativeCount = false;
        if (values_.size() == 3) {
            p2 = integerOf(values_[2]);
            if (p2 < 0) {
                p2 = p2 == INT64_MIN ? INT64_MAX / 4 : -p2;
                negativeCount = true;
            }
        }
        if (p1 < 0) {
            p1 += characterCount(s);
            if (p1 < 0) {
                p2 += p1;
                if (p2 < 0)
                    p2 = 0;
                p1 = 0;
            }
        } else if (p1 > 0) {
            --p1;
        } else if (p2 > 0) {
            --p2;
        }
        if (negativeCount) {
            p1 -= p2;
            if (p1 < 0) {
                p2 += p1;
                p1 = 0;
            }
        }
        result_.assign(characters(s, p1, p2));
        *out = Val::text(result_);
        return true;
    }

    bool trim(Val *out) {
        std::string_view s = text(0);
        std::string_view set = values_.size() == 2 ? text(1) : std::string_view(" ");
        size_t begin = 0, end = s.size();
        if (fn_ != Fn::RightTrim)
            while (begin < end && set.find(s[begin]) != std::string_view::npos)
                ++begin;
        if (fn_ != Fn::LeftTrim)
            while (end > begin && set.find(s[end - 1]) != std::string_view::npos)
                --end;
        result_.assign(s.substr(begin, end - begin));
        *out = Val::text(result_);
        return true;
    }

    bool find(std::string_view haystack, std::string_view needle, int64_t start, Val *out) {
        size_t from = offsetOfCharacter(haystack, start - 1);
        if (from > haystack.size() || (from == haystack.size() && !needle.empty())) {
            *out = Val::integer(0);
            return true;
        }
        size_t at = haystack.find(needle, from);
        *out = Val::integer(at == std::string_view::npos ? 0 : characterCount(haystack.substr(0, at)) + 1);
        return true;
    }

    bool absolute(Val *out) {
        const Val &v = values_[0];
        if (v.type == Val::Int) {
            if (v.i == INT64_MIN)
                return fail(EngineError::IntegerOverflow, "integer overflow");
            *out = Val::integer(v.i < 0 ? -v.i : v.i);
            return true;
        }
        *out = Val::real(std::fabs(realOf(v)));
        return true;
    }

    // ROUND(x [, n]) is always real; n is kept to 0-30 as SQLite does.
    bool round(Val *out) {
        double r = realOf(values_[0]);
        int64_t digits = values_.size() == 2 ? integerOf(values_[1]) : 0;
        digits = digits < 0 ? 0 : digits > 30 ? 30 : digits;
        if (std::fabs(r) < 4503599627370496.0) {
            double scale = std::pow(10.0, static_cast<double>(digits));
            double scaled = std::fabs(r) * scale;
            double rounded = std::floor(scaled + 0.5) / scale;
            if (std::isfinite(rounded))
                r = std::copysign(rounded, r);
        }
        *out = Val::real(r);
        return true;
    }

    bool modulo(Val *out) {
        return remainderOf(values_[0], values_[1], out) || fail(EngineError::DivisionByZero, "division by zero");
    }

    Fn fn_;
    std::vector<NodePtr> args_;
    std::vector<Val> values_;
    std::vector<std::string> buffers_;
    std::string result_;
};

class LikeNode : public Node {
public:
    LikeNode(std::vector<NodePtr> parts, bool negated) : parts_(std::move(parts)), negated_(negated) {
        describeAsCondition();
        constant = true;
        for (const NodePtr &part : parts_)
            addOperands({part.get()});
    }
    bool eval(const RowFrame &frame, Val *out) override {
        Val values[3];
        for (size_t i = 0; i < parts_.size(); ++i) {
            if (!parts_[i]->eval(frame, &values[i]))
                return false;
            if (values[i].isNull()) {
                *out = Val::null();
                return true;
            }
        }
        std::string_view text = textOf(values[0], &text_);
        std::string_view pattern = textOf(values[1], &pattern_);
        unsigned char escape = 0;
        if (parts_.size() == 3 && !escapeOf(values[2], &escape))
            return false;
        // Case folding of ASCII letters only, as SQLite's LIKE; trailing blanks count.
        Utf8Scope utf8;
        unsigned int match =
            strLike(reinterpret_cast<const unsigned char *>(text.data()), static_cast<uint32_t>(text.size()),
                    reinterpret_cast<const unsigned char *>(pattern.data()), static_cast<uint32_t>(pattern.size()), '%',
                    '_', escape, 0, 1);
        *out = Val::integer((match != 0) != negated_ ? 1 : 0);
        return true;
    }

private:
    // The ESCAPE character: one character, which the matcher takes as one byte.
    bool escapeOf(const Val &value, unsigned char *escape) {
        std::string_view text = textOf(value, &escape_);
        if (characterCount(text) != 1)
            return fail(EngineError::BadEscape, "the ESCAPE expression must be a single character");
        if (text.size() != 1)
            return fail(EngineError::NotSupported, "an ESCAPE character outside ASCII is not supported");
        *escape = static_cast<unsigned char>(text[0]);
        return true;
    }

    std::vector<NodePtr> parts_;
    bool negated_;
    std::string text_, pattern_, escape_;
};

} // namespace

NodePtr makeFunctionNode(const std::string &name, std::vector<NodePtr> args, bool starOrDistinct) {
    for (const FunctionName &entry : kFunctions) {
        if (!sameName(name, entry.name))
            continue;
        if (starOrDistinct || args.size() < entry.minArgs || args.size() > entry.maxArgs) {
            (void)fail(EngineError::Syntax, "wrong number of arguments to function " + name);
            return nullptr;
        }
        return std::make_unique<FunctionNode>(entry.fn, std::move(args));
    }
    (void)fail(EngineError::UnknownFunction, "no such function: " + name);
    return nullptr;
}

NodePtr makeLikeNode(std::vector<NodePtr> parts, bool negated) {
    return std::make_unique<LikeNode>(std::move(parts), negated);
}

} // namespace zotext
