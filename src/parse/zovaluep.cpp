// Attribute strings: key=value pairs cut by the scanner, kept in a case-blind ordered
// dictionary.
#include <zo/zovaluep.h>

#include <zo/pertask.h>
#include <zo/ramalloc.h>
#include <zo/strfuncs.h>

#include "frame/err.h"
#include "text/textstep.h"

namespace {

// Indexes of attributes are 16-bit.
constexpr uint32_t kMaxAttributes = 0xFFFF;

const unsigned char *u(const char *text) { return reinterpret_cast<const unsigned char *>(text); }

uint32_t textLength(const unsigned char *text) { return BUTSTLEN(reinterpret_cast<const char *>(text)); }

bool keyIs(const ZoSubString &key, const char *word) {
    return strEqualCi(key.data(), key.length(), u(word), textLength(u(word))) != 0;
}

// True when the text holds a quote character or the separator.
bool needsQuotes(const ZoString &text, unsigned char separator) {
    for (uint32_t i = 0; i < text.length(); ++i) {
        const unsigned char b = text.data()[i];
        if (b == '\'' || b == '"' || b == separator)
            return true;
    }
    return false;
}

// A two-character operator that starts with '=' ("==", "=*", "=<", "=>").
bool startsWithEquals(int32_t kind) { return kind > 0xFF && (kind >> 8) == '='; }

// Length of the character at offset i of a text of end bytes, by the thread's stepping: a
// trail byte that happens to be '}' belongs to its character and closes nothing.
uint32_t charAt(const unsigned char *text, uint32_t i, uint32_t end, const unsigned char *lengths) {
    const uint32_t n = zo::text::charLength(text + i, text + end, lengths);
    return n != 0 ? n : 1;
}

// Offset of the '}' that closes the brace at open, or end when it is not closed; *doubled
// tells whether a "}}" came on the way.
uint32_t closingBrace(const unsigned char *text, uint32_t open, uint32_t end, bool *doubled) {
    const unsigned char *lengths = mdsCharLengthTable();
    *doubled = false;
    for (uint32_t i = open + 1; i < end;) {
        if (text[i] == '}') {
            if (i + 1 >= end || text[i + 1] != '}')
                return i;
            *doubled = true;
            i += 2;
            continue;
        }
        i += charAt(text, i, end, lengths);
    }
    return end;
}

// Appends text[from, to) with every "}}" written as one '}'.
ZoStatus appendUndoubled(ZoString *out, const unsigned char *text, uint32_t from, uint32_t to) {
    const unsigned char *lengths = mdsCharLengthTable();
    uint32_t run = from;
    for (uint32_t i = from; i < to;) {
        if (text[i] == '}') {
            if (out->concat(text + run, i + 1 - run) != ZoSuccess)
                return ZoFailure;
            i += 2;
            run = i;
            continue;
        }
        i += charAt(text, i, to, lengths);
    }
    return run < to ? out->concat(text + run, to - run) : ZoSuccess;
}

} // namespace

ZoValueParser::ZoValueParser(const ZoSubString *text, unsigned char separator, const unsigned char *name,
                             unsigned int allowDuplicates)
    : separator_(separator), name_(name),
      scanner_(text != nullptr ? text->data() : nullptr, text != nullptr ? text->length() : 0),
      allowDuplicates_(allowDuplicates & 1) {
    attributes_.setNoCase(1);
}

ZoValueParser::~ZoValueParser() {
    attributes_.deleteKeyAndData();
    delete currentKey_;
    ramFree(used_);
}

void ZoValueParser::setQuotingChars(unsigned short q1, unsigned short q2, unsigned short q3) {
    scanner_.setQuoteChars(q1, q2, q3);
}

ZoStatus ZoValueParser::setValidChars(const unsigned char *chars) {
    if (chars == nullptr)
        return ZoSuccess;
    if (scanner_.validFirstChars.concat(chars) != ZoSuccess || scanner_.validMiddleChars.concat(chars) != ZoSuccess)
        return ZoFailure;
    return ZoSuccess;
}

void ZoValueParser::resetValidChars() {
    scanner_.validFirstChars.unInitialize();
    scanner_.validMiddleChars.unInitialize();
}

// Records a syntax error at an offset (mostly the current token's): 2704 with the offset,
// or 2705 with the offset and the parser's name. Appended texts fill their own placeholders
// afterwards.
void ZoValueParser::reportSyntaxError(uint32_t offset) const {
    if (name_ != nullptr)
        addResourceError(ZoMessage::AttributeSyntaxOf) << offset << name_;
    else
        addResourceError(ZoMessage::AttributeSyntax) << offset;
}

ZoStatus ZoValueParser::initialize() {
    scanner_.getToken(token_, searchNormal);
    while (token_.kind() != tokenEnd) {
        if (token_.kind() != separator_ && parseAttribute() != ZoSuccess)
            return ZoFailure;
        if (token_.kind() != separator_)
            break;
        scanner_.getToken(token_, searchNormal);
    }
    if (token_.kind() != tokenEnd) {
        reportSyntaxError(token_.startOffset());
        return ZoFailure;
    }
    return resetUnused();
}

// Reads key = value at the current token and leaves the token after the value current.
ZoStatus ZoValueParser::parseAttribute() {
    if (token_.kind() != tokenWord) {
        reportSyntaxError(token_.startOffset());
        return ZoFailure;
    }
    // A key is a run of words, blanks between them included ("Data Source").
    const uint32_t start = token_.startOffset();
    uint32_t end = token_.endOffset();
    for (scanner_.getToken(token_, searchNormal); token_.kind() == tokenWord; scanner_.getToken(token_, searchNormal))
        end = token_.endOffset();
    delete currentKey_;
    currentKey_ = new ZoSubString(scanner_.text() + start, end - start);
    if (currentKey_ == nullptr)
        return ZoFailure;

    const bool duplicate = attributes_.doesExist(currentKey_) != 0;
    if (duplicate && !allowDuplicates_ && !keyIs(*currentKey_, "Driver")) {
        reportSyntaxError(token_.startOffset());
        appendResourceText(ZoMessage::AttributeTwice) << token_;
        return ZoFailure;
    }
    if (keyIs(*currentKey_, "ODBC")) // stands alone, stores nothing
        return ZoSuccess;

    if (startsWithEquals(token_.kind())) {
        scanner_.setPosition(token_.startOffset() + 1); // the value starts after the first '='
    } else if (token_.kind() != '=') {
        reportSyntaxError(token_.startOffset());
        return ZoFailure;
    }
    ZoToken item;
    scanner_.getDelimitedToken(item, separator_);
    const uint32_t length = item.kind() == tokenEnd ? 0 : item.length();
    if (braced_ && length != 0 && item.data()[0] == '{')
        return readBracedValue(item.startOffset(), duplicate);
    if (!duplicate && storeAttribute(new ZoSubString(item.data(), length)) != ZoSuccess)
        return ZoFailure;
    scanner_.getToken(token_, searchNormal);
    return ZoSuccess;
}

// Reads the braced value whose '{' is at offset open, stores it unless the key is a
// duplicate, and makes the token after the closing brace current.
ZoStatus ZoValueParser::readBracedValue(uint32_t open, bool duplicate) {
    const unsigned char *text = scanner_.text();
    bool doubled = false;
    const uint32_t close = closingBrace(text, open, scanner_.textLength(), &doubled);
    if (close == scanner_.textLength()) {
        reportSyntaxError(open);
        return ZoFailure;
    }
    if (!duplicate) {
        ZoSubString *value = nullptr;
        if (!doubled) {
            value = new ZoSubString(text + open + 1, close - open - 1);
        } else {
            auto *copy = new ZoString;
            if (copy != nullptr && appendUndoubled(copy, text, open + 1, close) != ZoSuccess) {
                delete copy;
                copy = nullptr;
            }
            value = copy;
        }
        if (storeAttribute(value) != ZoSuccess)
            return ZoFailure;
    }
    scanner_.setPosition(close + 1);
    scanner_.getToken(token_, searchNormal);
    return ZoSuccess;
}

// Appends the current key with the value (null: not made); both then belong to the list,
// or the value is deleted on failure.
ZoStatus ZoValueParser::storeAttribute(ZoSubString *value) {
    if (value == nullptr)
        return ZoFailure;
    if (attributes_.getCount() >= kMaxAttributes || attributes_.addAssoc(currentKey_, value) != ZoSuccess) {
        delete value;
        return ZoFailure;
    }
    currentKey_ = nullptr;
    return ZoSuccess;
}

// Index of the first attribute with the key (null: none), or the number of attributes.
uint32_t ZoValueParser::find(const unsigned char *key) const {
    if (key == nullptr)
        return attributes_.getCount();
    const ZoSubString view(key, textLength(key));
    return attributes_.getIndexForKey(view);
}

const ZoSubString *ZoValueParser::valueAt(uint32_t index) const {
    return static_cast<const ZoSubString *>(attributes_.getPtrDataAtIndex(index));
}

bool ZoValueParser::isUsed(uint32_t index) const {
    return index < markCount_ && (used_[index / 8] & (1u << (index % 8))) != 0;
}

// Attributes added after the marks were sized have no mark and stay unused.
void ZoValueParser::markUsed(uint32_t index) {
    if (index < markCount_)
        used_[index / 8] = static_cast<unsigned char>(used_[index / 8] | (1u << (index % 8)));
}

// The attribute at index is gone: the marks of the later ones move down with them.
void ZoValueParser::dropMark(uint32_t index) {
    if (index >= markCount_)
        return;
    for (uint32_t i = index; i + 1 < markCount_; ++i) {
        const unsigned char bit = static_cast<unsigned char>(1u << (i % 8));
        used_[i / 8] = static_cast<unsigned char>(isUsed(i + 1) ? used_[i / 8] | bit : used_[i / 8] & ~bit);
    }
    --markCount_;
    used_[markCount_ / 8] = static_cast<unsigned char>(used_[markCount_ / 8] & ~(1u << (markCount_ % 8)));
}

ZoStatus ZoValueParser::sizeMarks() {
    auto *marks = static_cast<unsigned char *>(ramAllocZ(attributes_.getCount() / 8 + 1));
    if (marks == nullptr)
        return ZoFailure;
    ramFree(used_);
    used_ = marks;
    markCount_ = attributes_.getCount();
    return ZoSuccess;
}

ZoStatus ZoValueParser::resetUnused() {
    if (sizeMarks() != ZoSuccess)
        return ZoFailure;
    unusedCursor_ = 0;
    return ZoSuccess;
}

const ZoSubString *ZoValueParser::getAttributeValue(const ZoSubString *key) {
    return lookUp(key != nullptr ? attributes_.getIndexForKey(*key) : attributes_.getCount());
}

const ZoSubString *ZoValueParser::getAttributeValue(const unsigned char *key) { return lookUp(find(key)); }

// The value at index, marked used; null for an index past the last attribute.
const ZoSubString *ZoValueParser::lookUp(uint32_t index) {
    if (index >= attributes_.getCount())
        return nullptr;
    markUsed(index);
    return valueAt(index);
}

ZoStatus ZoValueParser::getAttributeValue(const unsigned char *key, const unsigned char *otherKey,
                                          const ZoSubString *&value) {
    const ZoSubString *first = getAttributeValue(key);
    const ZoSubString *second = getAttributeValue(otherKey);
    if (first != nullptr && second != nullptr) {
        reportSyntaxError(token_.startOffset());
        appendResourceText(ZoMessage::AttributeBothSpellings) << key << otherKey;
        return ZoFailure;
    }
    value = first != nullptr ? first : second;
    return ZoSuccess;
}

unsigned ZoValueParser::isAttributeValue(const ZoSubString *key) const { return attributes_.doesExist(key); }

unsigned ZoValueParser::isAttributeValue(const unsigned char *key) const {
    return find(key) < attributes_.getCount() ? 1 : 0;
}

uint16_t ZoValueParser::getUnusedCount() const {
    uint16_t unused = 0;
    for (uint32_t i = 0; i < attributes_.getCount(); ++i)
        if (!isUsed(i))
            ++unused;
    return unused;
}

const ZoSubString *ZoValueParser::getUnusedAttribute() {
    while (unusedCursor_ < attributes_.getCount()) {
        const uint32_t index = unusedCursor_++;
        if (!isUsed(index))
            return attributes_.getSubKeyAtIndex(index);
    }
    return nullptr;
}

const ZoSubString *ZoValueParser::getAttributeKey(uint16_t index) const {
    return index < attributes_.getCount() ? attributes_.getSubKeyAtIndex(index) : nullptr;
}

ZoStatus ZoValueParser::addAttribute(const unsigned char *key, const unsigned char *value,
                                     const unsigned char *otherKey) {
    if (key == nullptr)
        return ZoFailure;
    uint32_t index = find(key);
    if (index >= attributes_.getCount())
        index = find(otherKey);
    const bool found = index < attributes_.getCount();
    if (!found && attributes_.getCount() >= kMaxAttributes)
        return ZoFailure;

    auto *copy = new ZoString;
    if (copy == nullptr || copy->initialize(value != nullptr ? value : u("")) != ZoSuccess ||
        (!braced_ && needsQuotes(*copy, separator_) && copy->addQuotes('\'') != ZoSuccess)) {
        delete copy;
        return ZoFailure;
    }
    if (found) {
        ZoSubString *stored = attributes_.getSubKeyAtIndex(index);
        ZoObject *old = attributes_.getPtrDataAtIndex(index);
        attributes_.changeData(*stored, copy);
        delete old;
        return ZoSuccess;
    }
    auto *newKey = new ZoString;
    if (newKey == nullptr || newKey->initialize(key) != ZoSuccess || attributes_.addAssoc(newKey, copy) != ZoSuccess) {
        delete newKey;
        delete copy;
        return ZoFailure;
    }
    return ZoSuccess;
}

void ZoValueParser::removeAttribute(const unsigned char *key) {
    const uint32_t index = find(key);
    if (index >= attributes_.getCount())
        return;
    attributes_.deleteKeyAndDataAtIndex(index);
    dropMark(index);
    if (unusedCursor_ > index)
        --unusedCursor_;
}

ZoStatus ZoValueParser::buildString(ZoString *out) const {
    if (out->data() != nullptr && out->changeBytes(0, out->length(), nullptr, 0) != ZoSuccess)
        return ZoFailure;
    for (uint32_t i = 0; i < attributes_.getCount(); ++i) {
        const ZoSubString *key = attributes_.getSubKeyAtIndex(i);
        const ZoSubString *value = valueAt(i);
        if ((i != 0 && out->concat(separator_) != ZoSuccess) || out->concat(key->data(), key->length()) != ZoSuccess ||
            out->concat(static_cast<unsigned char>('=')) != ZoSuccess || appendValue(out, *value) != ZoSuccess)
            return ZoFailure;
    }
    return ZoSuccess;
}

// True when the value, written as it is, would not read back whole: it starts with a brace
// or holds a quote character (either would change how it is read), or reading it as an
// item stops early or trims it (a separator, blanks at either end).
bool ZoValueParser::needsBraces(const ZoSubString &value) const {
    if (value.length() == 0)
        return false;
    const unsigned char *text = value.data();
    if (text[0] == '{')
        return true;
    const unsigned char *lengths = mdsCharLengthTable();
    for (uint32_t i = 0; i < value.length(); i += charAt(text, i, value.length(), lengths))
        for (unsigned q = 0; q < 3; ++q)
            if (text[i] != 0 && text[i] == scanner_.quoteChar(q))
                return true;
    ZoScanner reader(text, value.length());
    reader.setQuoteChars(0, 0, 0); // there are none
    ZoToken item;
    reader.getDelimitedToken(item, separator_);
    return item.kind() != tokenDelimited || item.startOffset() != 0 || item.length() != value.length();
}

// The value as stored, or with braced values on and where it needs them, in braces with
// every '}' doubled.
ZoStatus ZoValueParser::appendValue(ZoString *out, const ZoSubString &value) const {
    if (!braced_ || !needsBraces(value))
        return value.length() != 0 ? out->concat(value.data(), value.length()) : ZoSuccess;
    if (out->concat(static_cast<unsigned char>('{')) != ZoSuccess)
        return ZoFailure;
    const unsigned char *text = value.data();
    const unsigned char *lengths = mdsCharLengthTable();
    for (uint32_t i = 0; i < value.length();) {
        const uint32_t n = charAt(text, i, value.length(), lengths);
        if (n < lengths[text[i]])
            return ZoFailure; // a character cut short would take the closing brace into it
        if (out->concat(text + i, n) != ZoSuccess || (text[i] == '}' && out->concat(text + i, 1) != ZoSuccess))
            return ZoFailure;
        i += n;
    }
    return out->concat(static_cast<unsigned char>('}'));
}
