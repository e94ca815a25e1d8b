#include "tablefile.h"

#include <cstring>

#include <zo/bosfile.h>
#include <zo/cvwchar.h>
#include <zo/pertask.h>
#include <zo/zovm.h>

#include "errors.h"
#include "schema.h"

namespace zotext {

namespace {

// Bytes read from the file at a time.
constexpr uint32_t kChunkSize = 256 * 1024;
// A record longer than this is taken for a damaged file (an open quote that never closes
// would otherwise pull the whole file into memory).
constexpr uint64_t kMaxRecord = 256ull * 1024 * 1024;

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// The name in the buffer the file functions take; false when it does not fit.
bool nameBuffer(const std::string &path, unsigned char (&buffer)[256]) {
    if (path.size() >= sizeof buffer)
        return false;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

// For double-byte code pages a '|' may be the second byte of a character: the scanner then
// steps by characters. The other delimiters, the quote and the line end never are.
const unsigned char *leadTableFor(const TableFormat &format) {
    if (format.charset != Charset::Ansi || format.delimiter != '|')
        return nullptr;
    const unsigned char *lengths = mdsLeadByteLengthTable();
    for (int b = 0x80; b < 0x100; ++b)
        if (lengths[b] > 1)
            return lengths;
    return nullptr;
}

} // namespace

RecordReader::~RecordReader() { close(); }

bool RecordReader::failWith(EngineError code, const std::string &text) {
    failed_ = true;
    return fail(code, text);
}

bool RecordReader::open(const std::string &path, const TableFormat &format, uint64_t offset) {
    close();
    failed_ = false;
    path_ = path;
    scanner_ = RecordScanner(format.delimiter, leadTableFor(format));
    unsigned char name[256];
    if (!nameBuffer(path, name))
        return failWith(EngineError::FileError, "the path of the table is too long: " + path);
    if (offset > 0x7FFFFFFF)
        return failWith(EngineError::FileError, "the table file is too large: " + path);
    if (lines_.openFile(name, kChunkSize) != ZoSuccess)
        return failWith(EngineError::FileError, "cannot open the table file " + path);
    cache_ = format.blockCache;
    piece_ = nullptr;
    pieceSize_ = piecePos_ = 0;
    pieceOffset_ = offset;
    endOfFile_ = false;
    if (offset > 0)
        lines_.seekOffset = static_cast<int32_t>(offset);
    if (offset == 0 && format.charset == Charset::Utf8) {
        // A byte order mark opens the file, not its first field.
        if (!refill())
            return false;
        if (pieceSize_ >= 3 && std::memcmp(piece_, "\xEF\xBB\xBF", 3) == 0)
            piecePos_ = 3;
    }
    return true;
}

void RecordReader::close() {
    if (lines_.handle == 0)
        return;
    // The cache knows blocks by handle, which the next file opened may get again.
    if (cache_ != nullptr)
        (void)bvmFlush(cache_, lines_.handle); // always succeeds
    (void)lines_.closeFile();                  // a close failure of a file only read loses nothing
}

bool RecordReader::refill() {
    ZoSubString line;
    if (lines_.getNextLine(line) != ZoSuccess)
        return failWith(EngineError::FileError, "cannot read the table file " + path_);
    piece_ = reinterpret_cast<const char *>(line.data());
    pieceSize_ = line.length();
    piecePos_ = 0;
    pieceOffset_ = lines_.lineOffset;
    endOfFile_ = lines_.atEnd != 0;
    return true;
}

bool RecordReader::next() {
    if (!isOpen() || failed_)
        return false;
    scanner_.start();
    carry_.clear();
    offset_ = pieceOffset_ + piecePos_;
    for (;;) {
        if (piecePos_ == pieceSize_) {
            if (!endOfFile_ && !refill())
                return false;
            if (endOfFile_) {
                if (scanner_.consumed() == 0)
                    return false;
                if (!scanner_.finishAtEnd())
                    return failWith(EngineError::BadTableFile, "the table file " + path_ +
                                                                   " ends inside a quoted field that starts in the "
                                                                   "record at byte " +
                                                                   std::to_string(offset_));
                data_ = carry_.data();
                return true;
            }
            if (scanner_.consumed() == 0)
                offset_ = pieceOffset_ + piecePos_;
            continue;
        }
        uint32_t from = piecePos_;
        uint32_t end = 0;
        if (scanner_.feed(piece_, pieceSize_, from, &end)) {
            if (carry_.empty()) {
                data_ = piece_ + from;
            } else {
                carry_.append(piece_ + from, end - from);
                data_ = carry_.data();
            }
            piecePos_ = end;
            return true;
        }
        carry_.append(piece_ + from, pieceSize_ - from);
        piecePos_ = pieceSize_;
        if (carry_.size() > kMaxRecord)
            return failWith(EngineError::BadTableFile, "the table file " + path_ + " has a record longer than " +
                                                           std::to_string(kMaxRecord) + " bytes at byte " +
                                                           std::to_string(offset_));
    }
}

bool RecordReader::readAt(uint64_t offset, uint64_t size) {
    if (!isOpen())
        return false;
    if (offset + size > 0x7FFFFFFF || size > kMaxRecord)
        return failWith(EngineError::FileError, "the table file is too large: " + path_);
    carry_.resize(size);
    uint32_t got = 0;
    auto at = static_cast<int32_t>(offset);
    auto length = static_cast<uint32_t>(size);
    ZoStatus read = cache_ != nullptr
                        ? bvmFileRead(cache_, lines_.handle, at, carry_.data(), length, &got, VmHintNormal)
                        : bosFileRead(lines_.handle, at, carry_.data(), length, &got);
    if (read != ZoSuccess)
        return failWith(EngineError::FileError, "cannot read the table file " + path_);
    if (got != size)
        return failWith(EngineError::FileError, "the table file " + path_ + " changed while it was read");
    scanner_.start();
    uint32_t end = 0;
    if (!scanner_.feed(carry_.data(), static_cast<uint32_t>(size), 0, &end))
        (void)scanner_.finishAtEnd(); // the last record of the file, without a line end
    data_ = carry_.data();
    offset_ = offset;
    // The read moved the file position: the line reader goes on after this record.
    lines_.seekOffset = static_cast<int32_t>(offset + size);
    piece_ = nullptr;
    pieceSize_ = piecePos_ = 0;
    pieceOffset_ = offset + size;
    endOfFile_ = false;
    return true;
}

bool readLayout(const std::string &path, const std::string &table, const TableFormat &format, TableLayout *layout) {
    RecordReader reader;
    if (!reader.open(path, format, 0))
        return false;
    *layout = TableLayout();
    if (!reader.next()) {
        if (reader.failed())
            return false;
        layout->emptyFile = true;
        return true;
    }
    layout->crlf = reader.crlf();
    std::vector<std::string> fields;
    for (const FieldSpan &span : reader.fields()) {
        std::string text;
        std::string_view raw = reader.content().substr(span.start, span.end - span.start);
        fields.emplace_back(fieldText(raw, span.quoted, format.charset, &text));
    }
    if (format.header) {
        columnsFromHeader(fields, table, &layout->columns);
        layout->dataOffset = reader.endOffset();
        for (const ColumnInfo &column : layout->columns)
            layout->typed = layout->typed || column.type != ColumnType::Varchar || column.size != 255;
    } else {
        numberedColumns(fields.size(), table, &layout->columns);
        layout->dataOffset = 0;
    }
    return true;
}

namespace {

// Converts text between the code page and UTF-8 a run at a time: the conversions stop at a
// NUL byte, which is carried over as it is.
template <class Convert>
bool convertRuns(std::string_view text, size_t growth, Convert convert, std::string *out) {
    out->clear();
    size_t at = 0;
    while (at <= text.size()) {
        size_t nul = text.find('\0', at);
        std::string_view run = text.substr(at, nul == std::string_view::npos ? std::string_view::npos : nul - at);
        if (!run.empty()) {
            size_t before = out->size();
            out->resize(before + run.size() * growth + 1);
            int32_t written = 0;
            if (convert(reinterpret_cast<unsigned char *>(out->data() + before),
                        static_cast<int32_t>(out->size() - before), reinterpret_cast<const unsigned char *>(run.data()),
                        static_cast<int32_t>(run.size()), &written) != ZoConvertOk)
                return false;
            out->resize(before + static_cast<size_t>(written));
        }
        if (nul == std::string_view::npos)
            break;
        *out += '\0';
        at = nul + 1;
    }
    return true;
}

bool ansiToUtf8(std::string_view text, std::string *out) {
    return convertRuns(
        text, 3,
        [](unsigned char *dest, int32_t size, const unsigned char *src, int32_t length, int32_t *written) {
            return cvAnsiToUTF8(dest, size, src, length, nullptr, written, 0);
        },
        out);
}

bool utf8ToAnsi(std::string_view text, std::string *out) {
    return convertRuns(
        text, 2,
        [](unsigned char *dest, int32_t size, const unsigned char *src, int32_t length, int32_t *written) {
            return cvUTF8ToAnsi(dest, size, src, length, nullptr, written, 0);
        },
        out);
}

} // namespace

std::string_view fieldText(std::string_view raw, bool quoted, Charset charset, std::string *out) {
    std::string_view value = raw;
    if (quoted) {
        out->clear();
        appendFieldValue(raw, true, out);
        value = *out;
    }
    if (charset == Charset::Utf8 || isAscii(value))
        return value;
    // Every byte of a code page has a character, so the conversion cannot fail but for
    // memory; the bytes then pass as they are rather than be lost.
    std::string converted;
    if (ansiToUtf8(value, &converted))
        *out = std::move(converted);
    else if (!quoted)
        out->assign(value);
    return *out;
}

bool textForFile(std::string_view text, Charset charset, std::string *out) {
    if (charset == Charset::Utf8 || isAscii(text)) {
        out->assign(text);
        return true;
    }
    // A character the code page has no code for would come back as '?': refused rather
    // than written changed.
    std::string back;
    return utf8ToAnsi(text, out) && ansiToUtf8(*out, &back) && back == text;
}

} // namespace zotext
