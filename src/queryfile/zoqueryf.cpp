// Query files, reading side: the header and the first lines when a file is opened, the
// statement and sections read on demand, and the resumable forward scan that finds section
// headers no further than a request needs.
//
// The scan resumes at the line reader's high-water mark, the furthest offset a returned
// line reached. Every read of lines here takes whole lines, and a line read ahead (a header
// that ends a section, the statement's first line) is given back by moving the mark to its
// start, so the scan never skips a header.
#include <zo/zoqueryf.h>

#include <zo/bospath.h>
#include <zo/pertask.h>
#include <zo/ramalloc.h>
#include <zo/strfuncs.h>
#include <zo/zoarray.h>
#include <zo/zoscanne.h>

#include <initializer_list>

#include "frame/err.h"
#include "queryfile/zoqint.h"

using namespace zoquery;

namespace {

constexpr uint32_t ReaderBuffer = 2048;
constexpr uint16_t StoreCache = 32768;
const char *const SectionNames[] = {"PAGE_LAYOUT", "PARAMETERS", "DEFINITION", "USER COMMANDS"};

uint16_t kindOf(const unsigned char *name, uint32_t length) {
    for (const char *known : SectionNames)
        if (strEqualCi(name, length, u(known), lengthOf(u(known))) != 0)
            return SectionInfo::KindKnown;
    return SectionInfo::KindOther;
}

// A number token of at most max, without a sign or a point.
bool numberToken(const ZoToken &token, uint32_t max, uint32_t *value) {
    if (token.kind() != tokenNumber || token.length() > 10)
        return false;
    uint64_t v = 0;
    for (uint32_t i = 0; i < token.length(); ++i) {
        if (!std::isdigit(token.data()[i]))
            return false;
        v = v * 10 + (token.data()[i] - '0');
    }
    if (v > max)
        return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

// A text of the content: the bytes from one CR LF-terminated stretch to the next.
uint32_t lineEnd(const unsigned char *p, uint32_t from, uint32_t length) {
    for (uint32_t i = from; i + 1 < length; ++i)
        if (p[i] == '\r' && p[i + 1] == '\n')
            return i;
    return length;
}

// Collects the lines that readLines hands out.
struct StringSink {
    ZoString *text;
    ZoStatus operator()(const ZoSubString &piece) const { return text->concat(piece.data(), piece.length()); }
    bool endsStatement() const { return zoquery::endsStatement(text->data(), text->length()); }
};

// The same into a block of fixed room (the content's length is known before).
struct BlockSink {
    unsigned char *block;
    uint32_t room;
    uint32_t used = 0;
    ZoStatus operator()(const ZoSubString &piece) {
        if (piece.length() > room - used)
            return ZoFailure; // the file changed since its length was taken
        std::memcpy(block + used, piece.data(), piece.length());
        used += piece.length();
        return ZoSuccess;
    }
    bool endsStatement() const { return false; }
};

// Appends CR LF pairs until the block ends in two of them.
uint32_t endInTwoLineEnds(unsigned char *block, uint32_t used) {
    uint32_t pairs = 0;
    while (pairs < 2 && used >= 2 * (pairs + 1) && block[used - 2 * pairs - 2] == '\r' &&
           block[used - 2 * pairs - 1] == '\n')
        ++pairs;
    for (; pairs < 2; ++pairs) {
        block[used++] = '\r';
        block[used++] = '\n';
    }
    return used;
}

} // namespace

// ---- SectionInfo and ZofParam ------------------------------------------------------------

SectionInfo::~SectionInfo() = default;

short SectionInfo::compare(const ZoObject *other) const {
    auto *that = static_cast<const SectionInfo *>(other);
    if (kind == KindSearchKey || that->kind == KindSearchKey)
        return strCompare(name.data(), name.length(), that->name.data(), that->name.length());
    if (kind != that->kind)
        return kind < that->kind ? -1 : 1;
    // Offset 0 (not in the file) wraps to the largest value.
    uint32_t mine = offset - 1;
    uint32_t theirs = that->offset - 1;
    return mine < theirs ? -1 : (mine > theirs ? 1 : 0);
}

ZofParam::~ZofParam() = default;

ZoStatus ZofParam::initialize(ZoString &line) {
    ZoScanner scanner(static_cast<ZoSubString &>(line));
    ZoToken token;
    static const char *const lead[] = {"PARAMETER", ".", "ITEM", "("};
    for (const char *expected : lead) {
        scanner.getToken(token, searchNormal);
        if (scanner.isEqualCi(token, u(expected)) == 0)
            return ZoFailure;
    }
    ZoString *texts[] = {&text1, &text2, &text3, &text4};
    for (ZoString *text : texts) {
        scanner.getToken(token, searchNormal);
        if (token.kind() != tokenLiteral || text->initialize(token.data(), token.length()) != ZoSuccess)
            return ZoFailure;
        text->removeQuotes();
        scanner.getToken(token, searchNormal);
        if (token.kind() != ',')
            return ZoFailure;
    }
    scanner.getToken(token, searchNormal);
    return numberToken(token, 0xFFFFFFFF, &value) ? ZoSuccess : ZoFailure;
}

ZoStatus ZofParam::getParamLine(ZoString &out) const {
    if (out.concat("PARAMETER.ITEM (") != ZoSuccess)
        return ZoFailure;
    const ZoString *texts[] = {&text1, &text2, &text3, &text4};
    for (const ZoString *text : texts)
        if (out.addQuotedBytes(*text, '\'') != ZoSuccess || out.concat(", ") != ZoSuccess)
            return ZoFailure;
    if (out.concat(value) != ZoSuccess || out.concat(")\r\n") != ZoSuccess)
        return ZoFailure;
    return ZoSuccess;
}

// ---- object ------------------------------------------------------------------------------

ZoQueryFile::ZoQueryFile() : store_(StoreCache, 1) {
    sections_.setSortMode(ZoSortedArray::DeferredSort);
    sections_.setDeleteContents(true);
}

ZoQueryFile::~ZoQueryFile() {
    if (closeFile() != ZoSuccess) {
        // The reader keeps its file; its destructor closes it. The texts are freed here.
        ramFree(fileName_);
        ramFree(writeFileName_);
        ramFree(dbType_);
        ramFree(dbName_);
        ramFree(sqlText_);
    }
}

const unsigned char *ZoQueryFile::sectionName(SectionType section) {
    return u(SectionNames[static_cast<unsigned>(section) & 3]);
}

namespace {

// Replaces an owned text by a copy of text (n bytes), or frees it for a null text.
ZoStatus replaceText(unsigned char *&owned, const unsigned char *text, uint32_t n) {
    unsigned char *copy = nullptr;
    if (text != nullptr && (copy = ramAllocStr(text, n)) == nullptr)
        return ZoFailure;
    ramFree(owned);
    owned = copy;
    return ZoSuccess;
}

} // namespace

ZoStatus ZoQueryFile::closeFile() {
    if (reader_.closeFile() != ZoSuccess)
        return ZoFailure;
    for (unsigned char **text : {&fileName_, &writeFileName_, &dbType_, &dbName_, &sqlText_}) {
        ramFree(*text);
        *text = nullptr;
    }
    sqlLength_ = sqlOffset_ = firstSectionOffset_ = 0;
    pendingSection_ = nullptr;
    majorVersion_ = 1;
    minorVersion_ = patchVersion_ = 0;
    wasScrambled_ = hasMarker_ = modified_ = 0;
    sections_.deleteContents();
    store_.tmpTruncate(0);
    return ZoSuccess;
}

ZoStatus ZoQueryFile::initialize(const unsigned char *dbType, const unsigned char *sql, uint32_t length) {
    if (setDbType(dbType) != ZoSuccess || setSqlStmt(sql, length) != ZoSuccess)
        return ZoFailure;
    modified_ = 1;
    return ZoSuccess;
}

ZoStatus ZoQueryFile::setWriteFileName(const unsigned char *name) {
    unsigned char *full = nullptr;
    if (name != nullptr) {
        uint32_t n = lengthOf(name);
        if (n >= NameBuffer || (full = static_cast<unsigned char *>(ramAlloc(NameBuffer))) == nullptr)
            return ZoFailure;
        std::memcpy(full, name, n + 1);
        bosfpath(full, 1);
    }
    ramFree(writeFileName_);
    writeFileName_ = full;
    return ZoSuccess;
}

ZoStatus ZoQueryFile::setDbName(const unsigned char *name) {
    return replaceText(dbName_, name, name != nullptr ? lengthOf(name) : 0);
}

ZoStatus ZoQueryFile::setDbType(const unsigned char *type) {
    if (replaceText(dbType_, type, type != nullptr ? lengthOf(type) : 0) != ZoSuccess)
        return ZoFailure;
    modified_ = 1;
    return ZoSuccess;
}

ZoStatus ZoQueryFile::setSqlStmt(const unsigned char *sql, uint32_t length) {
    if (replaceText(sqlText_, sql != nullptr ? sql : u(""), sql != nullptr ? length : 0) != ZoSuccess)
        return ZoFailure;
    sqlLength_ = sql != nullptr ? length : 0;
    modified_ = 1;
    return ZoSuccess;
}

// ---- opening -----------------------------------------------------------------------------

ZoStatus ZoQueryFile::openFile(const unsigned char *name) {
    if (closeFile() != ZoSuccess || reader_.openFile(name, ReaderBuffer) != ZoSuccess)
        return ZoFailure;
    uint32_t n = lengthOf(name);
    fileName_ = n < NameBuffer ? static_cast<unsigned char *>(ramAlloc(NameBuffer)) : nullptr;
    if (fileName_ == nullptr) {
        (void)reader_.closeFile(); // opened read-only just now: nothing to lose
        return ZoFailure;
    }
    std::memcpy(fileName_, name, n + 1);
    bosfpath(fileName_, 1);
    if (readHeader() != ZoSuccess || readLeadingLines() != ZoSuccess) {
        if (closeFile() != ZoSuccess)
            (void)reader_.closeFile(); // a read-only file: nothing to lose
        return ZoFailure;
    }
    return ZoSuccess;
}

// `Zo 7.0 for TYPE (n)`: the first word Zo or Z&O, up to three version numbers, `for`, the
// database type up to `(`, and optionally the scrambling mode of the lines after it.
ZoStatus ZoQueryFile::readHeader() {
    reader_.keepEol = 0;
    reader_.seekOffset = 0;
    if (reader_.getNextLine(line_) != ZoSuccess)
        return ZoFailure;
    auto invalid = [this] {
        addResourceError(ZoMessage::NotAQueryFile) << fileName_;
        return ZoFailure;
    };
    if (reader_.lineComplete == 0 || reader_.atEnd != 0)
        return invalid();
    ZoScanner scanner(line_);
    if (scanner.validFirstChars.concat("+&") != ZoSuccess || scanner.validMiddleChars.concat("+&") != ZoSuccess)
        return ZoFailure;
    ZoToken token;
    scanner.getToken(token, searchNormal);
    if (token.kind() != tokenWord ||
        (scanner.isEqualCi(token, u("Zo")) == 0 && scanner.isEqualCi(token, u("Z&O")) == 0))
        return invalid();
    scanner.validFirstChars.unInitialize();
    scanner.validMiddleChars.unInitialize();
    scanner.decimalNumbers = false;

    uint16_t *parts[] = {&majorVersion_, &minorVersion_, &patchVersion_};
    uint32_t value = 0;
    scanner.getToken(token, searchNormal);
    if (!numberToken(token, 0xFFFF, &value))
        return invalid();
    *parts[0] = static_cast<uint16_t>(value);
    for (int part = 1; part < 3; ++part) {
        scanner.getToken(token, searchNormal);
        if (token.kind() != '.') {
            scanner.unGetToken(token);
            break;
        }
        scanner.getToken(token, searchNormal);
        if (!numberToken(token, 0xFFFF, &value))
            return invalid();
        *parts[part] = static_cast<uint16_t>(value);
        if (part == 2) {
            uint32_t numberEnd = token.endOffset();
            scanner.getToken(token, searchNormal);
            if (token.startOffset() != numberEnd || token.length() != 1 || token.kind() == tokenEnd)
                scanner.unGetToken(token);
        }
    }
    scanner.getToken(token, searchNormal);
    if (token.kind() != tokenWord || scanner.isEqualCi(token, u("for")) == 0)
        return invalid();
    scanner.getDelimitedToken(token, '(');
    if (token.kind() != tokenDelimited)
        return invalid();
    if (replaceText(dbType_, token.data(), token.length()) != ZoSuccess)
        return ZoFailure;
    scanner.getToken(token, searchNormal);
    if (token.kind() == '(') {
        scanner.getToken(token, searchNormal);
        if (!numberToken(token, 0xFFFF, &value))
            return invalid();
        scanner.getToken(token, searchNormal);
        if (token.kind() != ')')
            return invalid();
        reader_.scrambleMode = static_cast<uint16_t>(value);
        wasScrambled_ = 1;
        scanner.getToken(token, searchNormal);
    }
    return token.kind() == tokenEnd ? ZoSuccess : invalid();
}

// The whole line at the reader's position (its pieces joined) and its file offset; an empty
// text at the end of the file.
ZoStatus ZoQueryFile::nextLineText(ZoString &text, uint32_t *start) {
    for (;;) {
        if (text.initialize(u("")) != ZoSuccess || reader_.getNextLine(line_) != ZoSuccess)
            return ZoFailure;
        *start = reader_.lineOffset;
        if (reader_.atEnd != 0)
            return ZoSuccess;
        if (text.concat(line_.data(), line_.length()) != ZoSuccess)
            return ZoFailure;
        while (reader_.lineComplete == 0) {
            if (reader_.getNextLine(line_) != ZoSuccess || text.concat(line_.data(), line_.length()) != ZoSuccess)
                return ZoFailure;
        }
        for (uint32_t i = 0; i < text.length(); ++i)
            if (!isBlank(text.data()[i]))
                return ZoSuccess;
    }
}

// The next line is to start at start again; the high-water mark drops back to it when the
// line had raised it.
void ZoQueryFile::giveBack(uint32_t start, uint32_t highWaterBefore) {
    reader_.seekOffset = static_cast<int32_t>(start);
    if (reader_.highWater > highWaterBefore)
        reader_.highWater = reader_.prevHighWater = start > highWaterBefore ? start : highWaterBefore;
}

namespace {

// 1 when the text's first token is the word.
bool firstWordIs(const ZoString &text, const char *word, ZoScanner &scanner, ZoToken &token) {
    scanner.setScanString(text.data(), text.length());
    scanner.getToken(token, searchNormal);
    return token.kind() == tokenWord && scanner.isEqualCi(token, u(word)) != 0;
}

} // namespace

// After the header: the marker, the database line, where the statement starts, and for
// version 2 files where the DEFINITION text after the statement starts.
ZoStatus ZoQueryFile::readLeadingLines() {
    reader_.keepEol = 1;
    ZoString text;
    ZoScanner scanner;
    ZoToken token;
    uint32_t start = 0;
    uint32_t mark = reader_.highWater;
    if (nextLineText(text, &start) != ZoSuccess)
        return ZoFailure;
    if (reader_.atEnd == 0 && firstWordIs(text, "CTZOF", scanner, token)) {
        hasMarker_ = 1;
        mark = reader_.highWater;
        if (nextLineText(text, &start) != ZoSuccess)
            return ZoFailure;
    }
    if (reader_.atEnd == 0 && firstWordIs(text, "use", scanner, token)) {
        scanner.getDelimitedToken(token, ';');
        if (token.kind() == tokenDelimited && replaceText(dbName_, token.data(), token.length()) != ZoSuccess)
            return ZoFailure;
        mark = reader_.highWater;
        if (nextLineText(text, &start) != ZoSuccess)
            return ZoFailure;
    }
    if (reader_.atEnd == 0) {
        sqlOffset_ = start;
        giveBack(start, mark);
    }
    if (majorVersion_ != 2)
        return ZoSuccess;
    ZoString sql;
    if (getSqlStmt(&sql) != ZoSuccess)
        return ZoFailure;
    mark = reader_.highWater;
    if (nextLineText(text, &start) != ZoSuccess)
        return ZoFailure;
    SectionInfo *definition = nullptr;
    if (addSection(sectionName(SECTION_DEFINITION), lengthOf(sectionName(SECTION_DEFINITION)), &definition) !=
        ZoSuccess)
        return ZoFailure;
    definition->offset = start;
    pendingSection_ = definition;
    if (reader_.atEnd == 0)
        giveBack(start, mark);
    return ZoSuccess;
}

// ---- reading lines -----------------------------------------------------------------------

// Hands the whole lines from offset on to sink, with their line ends, up to the next section
// header (given back) or the end of the file, leaving out empty lines before the first one
// that is not empty. A statement also ends after its line that ends in `;`.
template <class Sink>
ZoStatus ZoQueryFile::readLines(uint32_t offset, bool statement, Sink &sink) {
    reader_.keepEol = 1;
    reader_.seekOffset = static_cast<int32_t>(offset);
    bool started = false;
    for (;;) {
        uint32_t mark = reader_.highWater;
        if (reader_.getNextLine(line_) != ZoSuccess)
            return ZoFailure;
        if (reader_.atEnd != 0)
            return ZoSuccess;
        const unsigned char *name;
        uint32_t nameLength;
        if (reader_.lineComplete != 0 && headerName(line_, &name, &nameLength)) {
            giveBack(reader_.lineOffset, mark);
            return ZoSuccess;
        }
        bool empty = reader_.lineComplete != 0 && line_.length() == 2;
        if (empty && !started)
            continue;
        started = true;
        if (sink(line_) != ZoSuccess)
            return ZoFailure;
        while (reader_.lineComplete == 0) {
            if (reader_.getNextLine(line_) != ZoSuccess || sink(line_) != ZoSuccess)
                return ZoFailure;
        }
        if (statement && sink.endsStatement())
            return ZoSuccess;
    }
}

ZoStatus ZoQueryFile::getSqlStmt(ZoString *sql) {
    if (sqlText_ != nullptr)
        return sql->initialize(sqlText_, sqlLength_);
    if (sql->initialize(u("")) != ZoSuccess)
        return ZoFailure;
    if (sqlOffset_ == 0 || !isOpen())
        return ZoSuccess;
    StringSink sink{sql};
    if (readLines(sqlOffset_, true, sink) != ZoSuccess || sql->removeLineBreaks('\'', '"', 0) != ZoSuccess)
        return ZoFailure;
    sql->rightBlankTrim();
    if (sql->length() > 0 && sql->data()[sql->length() - 1] == ';')
        sql->setLength(sql->length() - 1);
    sql->data()[sql->length()] = '\0';
    return ZoSuccess;
}

// ---- finding sections --------------------------------------------------------------------

SectionInfo *ZoQueryFile::knownSection(const unsigned char *name, uint32_t length) const {
    for (uint32_t i = 0; i < sections_.getCount(); ++i) {
        auto *section = static_cast<SectionInfo *>(sections_.getAt(i));
        if (strCompare(section->name.data(), section->name.length(), name, length) == 0)
            return section;
    }
    return nullptr;
}

ZoStatus ZoQueryFile::addSection(const unsigned char *name, uint32_t length, SectionInfo **section) {
    auto *added = new SectionInfo;
    if (added == nullptr)
        return ZoFailure;
    if (added->name.initialize(name, length) != ZoSuccess || sections_.add(added) != ZoSuccess) {
        delete added;
        return ZoFailure;
    }
    added->kind = kindOf(name, length);
    *section = added;
    return ZoSuccess;
}

void ZoQueryFile::closePending(uint32_t end) {
    if (pendingSection_ != nullptr && !pendingSection_->lengthKnown && pendingSection_->storedAt == 0) {
        pendingSection_->length = end >= pendingSection_->offset ? end - pendingSection_->offset : 0;
        pendingSection_->lengthKnown = true;
    }
    pendingSection_ = nullptr;
}

// Reads on from the high-water mark. Every header met is recorded (and its section becomes
// pending, its length unknown until the next header); the scan stops at the target's header
// (or at the header after it, when its length is wanted), at the first header when there
// is neither a target nor toEnd, and at the end of the file.
ZoStatus ZoQueryFile::scan(const unsigned char *target, bool wantLength, bool toEnd, SectionInfo **found) {
    *found = nullptr;
    if (!isOpen())
        return ZoSuccess;
    reader_.keepEol = 1;
    reader_.seekOffset = static_cast<int32_t>(reader_.highWater);
    bool stopAtNextHeader = false;
    for (;;) {
        if (reader_.getNextLine(line_) != ZoSuccess)
            return ZoFailure;
        if (reader_.atEnd != 0) {
            closePending(reader_.lineOffset);
            return ZoSuccess;
        }
        uint32_t start = reader_.lineOffset;
        const unsigned char *name;
        uint32_t nameLength;
        bool header = reader_.lineComplete != 0 && headerName(line_, &name, &nameLength);
        while (reader_.lineComplete == 0)
            if (reader_.getNextLine(line_) != ZoSuccess)
                return ZoFailure;
        if (!header)
            continue;
        uint32_t after = start + line_.length();
        if (firstSectionOffset_ == 0)
            firstSectionOffset_ = start;
        closePending(start);
        SectionInfo *section = knownSection(name, nameLength);
        if (section == nullptr && addSection(name, nameLength, &section) != ZoSuccess)
            return ZoFailure;
        section->offset = after;
        if (section->storedAt == 0) {
            section->lengthKnown = false;
            pendingSection_ = section;
        }
        if (stopAtNextHeader)
            return ZoSuccess;
        if (target != nullptr &&
            strCompare(section->name.data(), section->name.length(), target, lengthOf(target)) == 0) {
            *found = section;
            if (!wantLength || section->lengthKnown)
                return ZoSuccess;
            stopAtNextHeader = true;
        } else if (target == nullptr && !toEnd) {
            return ZoSuccess;
        }
    }
}

// The section by name, scanning the file for it when it is not known yet; null when there
// is none. With wantLength its content's length is known afterwards.
ZoStatus ZoQueryFile::findSection(const unsigned char *name, bool wantLength, SectionInfo **section) {
    *section = knownSection(name, lengthOf(name));
    if (*section == nullptr)
        return scan(name, wantLength, false, section);
    if (wantLength && !(*section)->lengthKnown && (*section)->storedAt == 0) {
        SectionInfo *ignored;
        return scan(nullptr, false, false, &ignored);
    }
    return ZoSuccess;
}

// ---- section contents --------------------------------------------------------------------

ZoStatus ZoQueryFile::getSectionChunk(const unsigned char *name, ZoString *content) {
    SectionInfo *section;
    if (content->initialize(u("")) != ZoSuccess || findSection(name, false, &section) != ZoSuccess)
        return ZoFailure;
    if (section == nullptr)
        return ZoSuccess;
    if (section->storedAt != 0) {
        if (store_.read(section->storedAt, content, section->length) != ZoSuccess)
            return ZoFailure;
    } else {
        StringSink sink{content};
        if (readLines(section->offset, false, sink) != ZoSuccess)
            return ZoFailure;
    }
    return content->length() > 0 ? content->forceEol(2) : ZoSuccess;
}

ZoStatus ZoQueryFile::getHugeSectionChunk(const unsigned char *name, unsigned char **data, uint32_t *length) {
    *data = nullptr;
    *length = 0;
    SectionInfo *section;
    if (findSection(name, true, &section) != ZoSuccess)
        return ZoFailure;
    if (section == nullptr || (section->storedAt == 0 && !section->lengthKnown))
        return section == nullptr ? ZoSuccess : ZoFailure;
    if (section->length > 0xFFFFFFFF - 10)
        return ZoFailure;
    auto *block = static_cast<unsigned char *>(ramAlloc(section->length + 10));
    if (block == nullptr)
        return ZoFailure;
    uint32_t used = section->length;
    ZoStatus status;
    if (section->storedAt != 0) {
        status = store_.readHuge(section->storedAt, block, section->length);
    } else {
        BlockSink sink{block, section->length};
        status = readLines(section->offset, false, sink);
        used = sink.used;
    }
    if (status != ZoSuccess || used == 0) {
        ramFree(block);
        return status;
    }
    *length = endInTwoLineEnds(block, used);
    *data = block;
    return ZoSuccess;
}

ZoStatus ZoQueryFile::setHugeSectionChunk(const unsigned char *name, const void *data, uint32_t length) {
    uint32_t at = 0;
    if (store_.tmpFindSpace(length, &at) != ZoSuccess || store_.writeHuge(at, data, length) != ZoSuccess)
        return ZoFailure;
    SectionInfo *section = knownSection(name, lengthOf(name));
    if (section == nullptr && addSection(name, lengthOf(name), &section) != ZoSuccess)
        return ZoFailure;
    if (section == pendingSection_)
        pendingSection_ = nullptr;
    section->storedAt = at;
    section->length = length;
    section->lengthKnown = true;
    section->removed = 0;
    modified_ = 1;
    return ZoSuccess;
}

ZoStatus ZoQueryFile::doesSectionExist(const unsigned char *name, unsigned int *exists) {
    SectionInfo *section;
    *exists = 0;
    if (findSection(name, false, &section) != ZoSuccess)
        return ZoFailure;
    *exists = section != nullptr ? 1 : 0;
    return ZoSuccess;
}

ZoStatus ZoQueryFile::removeSection(const unsigned char *name) {
    SectionInfo *section;
    if (findSection(name, false, &section) != ZoSuccess)
        return ZoFailure;
    if (section != nullptr)
        section->removed = 1;
    return ZoSuccess;
}

ZoStatus ZoQueryFile::getLines(const unsigned char *name, ZoArray *lines) {
    ZoString content;
    if (getSectionChunk(name, &content) != ZoSuccess)
        return ZoFailure;
    return content.getLines(lines);
}

ZoStatus ZoQueryFile::getSectionNames(ZoArray *names) {
    SectionInfo *ignored;
    if (scan(nullptr, false, true, &ignored) != ZoSuccess)
        return ZoFailure;
    for (uint32_t i = 0; i < sections_.getCount(); ++i) {
        auto *section = static_cast<SectionInfo *>(sections_.getAt(i));
        if (section->removed != 0)
            continue;
        auto *name = new ZoString;
        if (name == nullptr || name->initialize(section->name.data(), section->name.length()) != ZoSuccess ||
            names->append(name) != ZoSuccess) {
            delete name;
            return ZoFailure;
        }
    }
    return ZoSuccess;
}

ZoStatus ZoQueryFile::getFirstSectionOffset(uint32_t *offset) {
    SectionInfo *ignored;
    if (firstSectionOffset_ == 0 && scan(nullptr, false, false, &ignored) != ZoSuccess)
        return ZoFailure;
    *offset = firstSectionOffset_;
    return ZoSuccess;
}

// The forms by section type.
ZoStatus ZoQueryFile::getSectionChunk(SectionType section, ZoString *content) {
    return getSectionChunk(sectionName(section), content);
}
ZoStatus ZoQueryFile::getHugeSectionChunk(SectionType section, unsigned char **data, uint32_t *length) {
    return getHugeSectionChunk(sectionName(section), data, length);
}
ZoStatus ZoQueryFile::setHugeSectionChunk(SectionType section, const void *data, uint32_t length) {
    return setHugeSectionChunk(sectionName(section), data, length);
}
ZoStatus ZoQueryFile::doesSectionExist(SectionType section, unsigned int *exists) {
    return doesSectionExist(sectionName(section), exists);
}
ZoStatus ZoQueryFile::removeSection(SectionType section) { return removeSection(sectionName(section)); }
ZoStatus ZoQueryFile::getLines(SectionType section, ZoArray *lines) { return getLines(sectionName(section), lines); }

// ---- parameters and description ----------------------------------------------------------

ZoStatus ZoQueryFile::getParams(ZoArray *params) {
    ZoArray lines;
    lines.setDeleteContents(true);
    if (getLines(SECTION_PARAMETERS, &lines) != ZoSuccess)
        return ZoFailure;
    for (uint32_t i = 1; i < lines.getCount(); ++i) {
        auto *param = new ZofParam;
        if (param == nullptr || param->initialize(*static_cast<ZoString *>(lines.getAt(i))) != ZoSuccess ||
            params->append(param) != ZoSuccess) {
            delete param;
            return ZoFailure;
        }
    }
    return ZoSuccess;
}

ZoStatus ZoQueryFile::setParams(ZoArray *params) {
    ZoString content;
    if (content.initialize(u("PARAMETER.CLEAR ()\r\n")) != ZoSuccess)
        return ZoFailure;
    for (uint32_t i = 0; i < params->getCount(); ++i)
        if (static_cast<ZofParam *>(params->getAt(i))->getParamLine(content) != ZoSuccess)
            return ZoFailure;
    return setHugeSectionChunk(SECTION_PARAMETERS, content.data(), content.length());
}

namespace {

constexpr char DescriptionKey[] = "SET.QUERY.DESCRIPTION";
// The description line is "SET.QUERY.DESCRIPTION ('" text "')" with at most 255 bytes of
// text: 281 bytes at most.
constexpr uint32_t DescriptionText = 255;
constexpr uint32_t DescriptionLine = sizeof "SET.QUERY.DESCRIPTION ('')" - 1 + DescriptionText;

// Where the description line lies in the content: from its key to the next line end, at
// most DescriptionLine bytes. False when there is none.
bool descriptionLine(const ZoString &content, uint32_t *start, uint32_t *end) {
    *start = content.findSubString(u(DescriptionKey), 0);
    if (*start >= content.length())
        return false;
    *end = lineEnd(content.data(), *start, content.length());
    if (*end - *start > DescriptionLine)
        *end = *start + DescriptionLine;
    return true;
}

} // namespace

ZoStatus ZoQueryFile::getDescription(ZoString *text) {
    ZoString content;
    uint32_t start, end;
    if (getSectionChunk(SECTION_DEFINITION, &content) != ZoSuccess || !descriptionLine(content, &start, &end))
        return ZoFailure;
    const unsigned char *line = content.data() + start;
    const auto *first = static_cast<const unsigned char *>(std::memchr(line, '\'', end - start));
    if (first == nullptr)
        return ZoFailure;
    const unsigned char *last = line + (end - start) - 1;
    while (*last != '\'')
        --last;
    return text->initialize(first + 1, static_cast<uint32_t>(last > first ? last - first - 1 : 0));
}

ZoStatus ZoQueryFile::setDescription(ZoString *text) {
    ZoString content; // empty when there is no DEFINITION yet
    if (getSectionChunk(SECTION_DEFINITION, &content) != ZoSuccess)
        return ZoFailure;
    // The line holds one line of at most 255 bytes of text, cut on a character boundary.
    const unsigned char *step = mdsCharLengthTable();
    uint32_t keep = 0;
    while (keep < text->length() && text->data()[keep] != '\r' && text->data()[keep] != '\n' &&
           keep + step[text->data()[keep]] <= DescriptionText && keep + step[text->data()[keep]] <= text->length())
        keep += step[text->data()[keep]];
    ZoString line;
    if (line.initialize(u("SET.QUERY.DESCRIPTION ('")) != ZoSuccess || line.concat(text->data(), keep) != ZoSuccess ||
        line.concat("')") != ZoSuccess)
        return ZoFailure;
    uint32_t start, end;
    ZoStatus status =
        descriptionLine(content, &start, &end)
            ? content.changeBytes(start, end - start, line.data(), line.length())
            : (line.concat("\r\n") == ZoSuccess ? content.changeBytes(0, 0, line.data(), line.length()) : ZoFailure);
    if (status != ZoSuccess)
        return ZoFailure;
    content.rightBlankTrim();
    return setHugeSectionChunk(SECTION_DEFINITION, content.data(), content.length());
}
