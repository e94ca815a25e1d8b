#include "tablefile.h"

#include <cstring>

#include <zo/bosfile.h>
#include <zo/pertask.h>

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
    if (lines_.handle != 0)
        (void)lines_.closeFile(); // a close failure of a file only read loses nothing
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
    if (bosFileRead(lines_.handle, static_cast<int32_t>(offset), carry_.data(), static_cast<uint32_t>(size), &got) !=
        ZoSuccess)
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

std::string_view fieldText(std::string_view raw, bool quoted, Charset charset, std::string *out) {
    std::string_view value = raw;
    if (quoted) {
        out->clear();
        appendFieldValue(raw, true, out);
        value = *out;
    }
    if (charset == Charset::Utf8 || isAscii(value))
        return value;
    // SEAM(cv): the code page's text is converted to UTF-8 with the library's cv functions
    // once they are on main; until then its bytes pass unchanged.
    return value;
}

bool textForFile(std::string_view text, Charset charset, std::string *out) {
    out->assign(text);
    if (charset == Charset::Utf8 || isAscii(text))
        return true;
    // SEAM(cv): converted to the code page with the library's cv functions once they are
    // on main, refusing characters the page has no code for.
    return true;
}

} // namespace zotext
