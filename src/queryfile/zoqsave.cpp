// Query files, writing side: the whole query written in its fixed order to a new file beside
// the target, synced and renamed over it, so that a failure at any step (a full disk, a
// crash) leaves the user's file as it was.
#include <zo/zoqueryf.h>

#include <zo/bosfile.h>
#include <zo/convert.h>
#include <zo/pertask.h>
#include <zo/ramalloc.h>
#include <zo/strfuncs.h>
#include <zo/zoerror.h>

#include "frame/err.h"
#include "os/bosint.h"
#include "queryfile/zoqint.h"

using namespace zoquery;

namespace {

constexpr uint32_t OutputBuffer = 65536;
// Scrambled saving uses mode 2, which keeps CR and LF, so that lines stay lines.
constexpr unsigned short SaveScrambleMode = 2;

// The database type reads back from the header as written: not empty, no `(` (which would
// start the scrambling mode), no quote (which would run to the end of the line), no line
// end, no blank at either end (which the reader trims).
bool typeReadsBack(const unsigned char *type) {
    if (type == nullptr || type[0] == '\0' || isBlank(type[0]))
        return false;
    uint32_t n = lengthOf(type);
    if (isBlank(type[n - 1]))
        return false;
    for (uint32_t i = 0; i < n; ++i)
        if (std::strchr("(\r\n'\"`", type[i]) != nullptr)
            return false;
    return true;
}

// The file written beside target: its last character replaced by `$` (or a `$` added when it
// is one already, so the new file never has the target's name).
bool besideName(const unsigned char *target, unsigned char *out) {
    uint32_t n = lengthOf(target);
    if (n == 0 || n + 1 >= NameBuffer)
        return false;
    const unsigned char *step = mdsCharLengthTable();
    uint32_t last = 0;
    for (uint32_t i = 0; i < n; i += step[target[i]] != 0 ? step[target[i]] : 1)
        last = i;
    std::memcpy(out, target, n + 1);
    if (target[last] == '$') {
        out[n] = '$';
        out[n + 1] = '\0';
    } else {
        out[last] = '$';
        out[last + 1] = '\0';
    }
    return true;
}

// Takes back the errors recorded since the list held `count`.
void dropErrorsAfter(uint32_t count) {
    ZoErrorList *list = ZoErrorKeeper::getCurrentList();
    while (list != nullptr && list->getCount() > count)
        ZoErrorKeeper::clearLastError();
}

uint32_t errorCount() {
    ZoErrorList *list = ZoErrorKeeper::getCurrentList();
    return list != nullptr ? list->getCount() : 0;
}

} // namespace

// The new file, written through a buffer; scrambled text is checked and scrambled on its way
// into the buffer.
struct ZoQueryFile::Output {
    int handle = 0;
    bool scramble = false;
    unsigned char *buffer = nullptr;
    uint32_t used = 0;

    ZoStatus flush() {
        uint32_t n = used;
        used = 0;
        return n > 0 ? bosFileWrite(handle, -1, buffer, n) : ZoSuccess;
    }
    // Writes n bytes; scrambled (when saving scrambles) unless they belong to the header.
    ZoStatus put(const unsigned char *bytes, uint32_t n, bool header = false) {
        bool scrambled = scramble && !header;
        if (scrambled && checkScrambleReversible(bytes, n, SaveScrambleMode) != ZoSuccess)
            return ZoFailure;
        while (n > 0) {
            if (used == OutputBuffer && flush() != ZoSuccess)
                return ZoFailure;
            uint32_t piece = OutputBuffer - used < n ? OutputBuffer - used : n;
            std::memcpy(buffer + used, bytes, piece);
            if (scrambled)
                encrypt(buffer + used, piece, SaveScrambleMode, nullptr);
            used += piece;
            bytes += piece;
            n -= piece;
        }
        return ZoSuccess;
    }
    ZoStatus put(const char *text, bool header = false) { return put(u(text), lengthOf(u(text)), header); }
    ZoStatus put(const ZoSubString &text) { return put(text.data(), text.length()); }
};

ZoStatus ZoQueryFile::writeSection(Output &out, SectionInfo &section) {
    if (out.put("[") != ZoSuccess || out.put(section.name) != ZoSuccess || out.put("]\r\n") != ZoSuccess)
        return ZoFailure;
    const unsigned char *name = section.name.data();
    if (!section.lengthKnown || section.length < HugeContent) {
        ZoString content;
        if (getSectionChunk(name, &content) != ZoSuccess)
            return ZoFailure;
        return content.length() > 0 ? out.put(content) : out.put("\r\n");
    }
    unsigned char *block = nullptr;
    uint32_t length = 0;
    if (getHugeSectionChunk(name, &block, &length) != ZoSuccess)
        return ZoFailure;
    ZoStatus status = length > 0 ? out.put(block, length) : out.put("\r\n");
    ramFree(block);
    return status;
}

namespace {

// A line the reader would take for a section header: `[`, anything, `]` and blanks.
bool looksLikeHeader(const unsigned char *line, uint32_t n) {
    ZoSubString view(line, n);
    const unsigned char *name;
    uint32_t length;
    return headerName(view, &name, &length);
}

// The first line end outside quotes that the reader would misread: after a line that ends
// in `;` (the statement would end there) or beside a line that looks like a section header.
// Returns the length of the text when there is none.
uint32_t misreadLineEnd(const ZoString &sql) {
    const unsigned char *p = sql.data();
    const uint32_t n = sql.length();
    unsigned char quote = 0;
    uint32_t lineStart = 0;
    for (uint32_t i = 0; i + 1 < n; ++i) {
        if (quote != 0) {
            quote = p[i] == quote ? 0 : quote;
            continue;
        }
        if (p[i] == '\'' || p[i] == '"') {
            quote = p[i];
            continue;
        }
        if (p[i] != '\r' || p[i + 1] != '\n')
            continue;
        uint32_t next = i + 2;
        uint32_t nextEnd = next;
        while (nextEnd + 1 < n && !(p[nextEnd] == '\r' && p[nextEnd + 1] == '\n'))
            ++nextEnd;
        if (nextEnd + 1 >= n)
            nextEnd = n;
        if (endsStatement(p + lineStart, i - lineStart) || looksLikeHeader(p + lineStart, i - lineStart) ||
            looksLikeHeader(p + next, nextEnd - next))
            return i;
        lineStart = next;
        ++i;
    }
    return n;
}

} // namespace

// Folds the statement at 79 characters outside quotes, then takes back each line break
// (outside quotes) that the reader would misread: one after a `;` would end the statement
// there, one beside a line that looks like a section header would end it at that line. The
// reader turns line breaks outside quotes into blanks, so the statement reads back the same.
static ZoStatus foldStatement(ZoString &sql) {
    if (sql.insertLineBreaks(79, '\'', '"', 0) != ZoSuccess)
        return ZoFailure;
    for (uint32_t at = misreadLineEnd(sql); at < sql.length(); at = misreadLineEnd(sql))
        if (sql.changeBytes(at, 2, u(" "), 1) != ZoSuccess)
            return ZoFailure;
    return ZoSuccess;
}

// A statement whose first word is `use` or `CTZOF` would be taken for the database line or
// the marker when no database line comes first: an empty database line goes before it.
static bool needsDatabaseLine(const ZoString &sql) {
    const unsigned char *p = sql.data();
    uint32_t n = sql.length();
    uint32_t i = 0;
    while (i < n && isBlank(p[i]))
        ++i;
    uint32_t word = i;
    while (i < n && (std::isalnum(p[i]) || p[i] == '_'))
        ++i;
    return strEqualCi(p + word, i - word, u("use"), 3) != 0 || strEqualCi(p + word, i - word, u("CTZOF"), 5) != 0;
}

// The header, the database line, the statement and the sections, known ones first.
ZoStatus ZoQueryFile::writeQuery(Output &out) {
    if (out.put("Zo 7.0 for ", true) != ZoSuccess || out.put(dbType_, lengthOf(dbType_), true) != ZoSuccess ||
        out.put(out.scramble ? " (2)\r\n\r\n" : "\r\n\r\n", true) != ZoSuccess)
        return ZoFailure;
    ZoString sql;
    if (getSqlStmt(&sql) != ZoSuccess)
        return ZoFailure;
    const unsigned char *database = dbName_ != nullptr ? dbName_ : u("");
    if ((database[0] != '\0' || needsDatabaseLine(sql)) &&
        (out.put("use ") != ZoSuccess || out.put(database, lengthOf(database)) != ZoSuccess ||
         out.put(";\r\n") != ZoSuccess))
        return ZoFailure;
    if ((sql.length() == 0 || sql.data()[sql.length() - 1] != ';') && sql.concat(';') != ZoSuccess)
        return ZoFailure;
    if (foldStatement(sql) != ZoSuccess || sql.concat("\r\n\r\n") != ZoSuccess || out.put(sql) != ZoSuccess)
        return ZoFailure;
    SectionInfo *ignored;
    if (scan(nullptr, false, true, &ignored) != ZoSuccess || sections_.realResort() != ZoSuccess)
        return ZoFailure;
    for (uint32_t i = 0; i < sections_.getCount(); ++i) {
        auto *section = static_cast<SectionInfo *>(sections_.getAt(i));
        if (section->removed == 0 && writeSection(out, *section) != ZoSuccess)
            return ZoFailure;
    }
    return out.flush();
}

// Creates name and writes the query to it, synced to the device; on failure the new file is
// deleted.
ZoStatus ZoQueryFile::writeFile(unsigned char *name) {
    Output out;
    out.scramble = scrambleOnSave != 0;
    out.buffer = static_cast<unsigned char *>(ramAlloc(OutputBuffer));
    if (out.buffer == nullptr)
        return ZoFailure;
    ZoStatus status = bosFileOpen(name, BOS_CREATE, &out.handle);
    if (status == ZoSuccess) {
        status = writeQuery(out);
        if (status == ZoSuccess)
            status = bosFileCommit(out.handle);
        if (bosFileClose(out.handle) != ZoSuccess)
            status = ZoFailure;
        if (status != ZoSuccess)
            (void)bosFileDelete(name); // a failed delete records its own error
    }
    ramFree(out.buffer);
    return status;
}

// Writes the whole query beside target and puts it in target's place.
ZoStatus ZoQueryFile::writeTo(const unsigned char *target) {
    if (!typeReadsBack(dbType_)) {
        addResourceError(ZoMessage::NotAQueryFile) << target;
        return ZoFailure;
    }
    unsigned char beside[NameBuffer];
    if (!besideName(target, beside)) {
        addResourceError(ZoMessage::FileCreate) << target;
        return ZoFailure;
    }
    if (writeFile(beside) != ZoSuccess)
        return ZoFailure;
    uint32_t errors = errorCount();
    if (bosFileReplace(beside, target) != ZoSuccess) {
        // What failed is the replacing: that is what the caller learns.
        dropErrorsAfter(errors);
        (void)bosFileDelete(beside);
        dropErrorsAfter(errors);
        addResourceError(ZoMessage::QueryFileNotReplaced) << target;
        return ZoFailure;
    }
    modified_ = 0;
    return ZoSuccess;
}

ZoStatus ZoQueryFile::saveAs(const unsigned char *name) {
    if (writeTo(name) != ZoSuccess)
        return ZoFailure;
    unsigned char again[NameBuffer];
    std::memcpy(again, name, lengthOf(name) + 1); // name may be one of this object's own texts
    if (closeFile() != ZoSuccess)
        return ZoFailure;
    return openFile(again);
}

ZoStatus ZoQueryFile::saveAndClose() {
    const unsigned char *target = writeFileName_ != nullptr ? writeFileName_ : fileName_;
    if (target == nullptr || writeTo(target) != ZoSuccess)
        return ZoFailure;
    return closeFile();
}

ZoStatus ZoQueryFile::save() {
    if (writeFileName_ != nullptr) {
        unsigned char *name = writeFileName_;
        writeFileName_ = nullptr;
        ZoStatus status = saveAs(name);
        if (status != ZoSuccess && writeFileName_ == nullptr)
            writeFileName_ = name;
        else
            ramFree(name);
        return status;
    }
    if (fileName_ == nullptr)
        return ZoFailure;
    unsigned char again[NameBuffer];
    std::memcpy(again, fileName_, lengthOf(fileName_) + 1);
    if (saveAndClose() != ZoSuccess)
        return ZoFailure;
    return openFile(again);
}
