// Table files: reading records in file order (and single records again by offset), the
// layout a file's header line gives, and the conversion of fields from the file's
// character set.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <zo/zofileby.h>

#include "csv.h"
#include "engine.h"

namespace zotext {

// How the files of a directory are written.
struct TableFormat {
    char delimiter = ',';
    bool header = true;
    Charset charset = Charset::Ansi;
    void *blockCache = nullptr; // the process's block cache for records read again (bvm)
};

// Reads the records of one file in order. A record's bytes stay valid until the next call.
class RecordReader {
public:
    RecordReader() = default;
    ~RecordReader();
    RecordReader(const RecordReader &) = delete;
    RecordReader &operator=(const RecordReader &) = delete;

    // Opens the file and starts at `offset` (a record's first byte). False with an error
    // recorded when the file cannot be opened.
    bool open(const std::string &path, const TableFormat &format, uint64_t offset);
    void close();
    bool isOpen() const { return lines_.handle != 0; }

    // The next record: true with it, false at the end of the file (failed() false) or on a
    // failure (an error recorded: a read error, an unterminated quote, a record too long).
    bool next();
    bool failed() const { return failed_; }

    std::string_view content() const { return std::string_view(data_, scanner_.contentSize()); }
    const std::vector<FieldSpan> &fields() const { return scanner_.fields(); }
    // File offset of the record's first byte, and its size with the line end.
    uint64_t offset() const { return offset_; }
    uint64_t size() const { return scanner_.consumed(); }
    // The record ended with CR LF.
    bool crlf() const { return scanner_.consumed() >= scanner_.contentSize() + 2; }
    // Offset just past the record.
    uint64_t endOffset() const { return offset_ + scanner_.consumed(); }

    // Reads the record of `size` bytes at `offset` again (as next() found it) and makes it
    // the current record, through the block cache when the format names one. False with an
    // error recorded when it cannot be read.
    bool readAt(uint64_t offset, uint64_t size);

private:
    bool refill();
    bool failWith(EngineError code, const std::string &text);

    // The file comes in pieces from the line reader: lines where they end with CR LF, else
    // pieces of its buffer. A piece stays valid until the next one is asked for.
    ZoFileByLine lines_;
    void *cache_ = nullptr;
    std::string path_;
    const char *piece_ = nullptr;
    uint32_t pieceSize_ = 0;
    uint32_t piecePos_ = 0;
    uint64_t pieceOffset_ = 0; // file offset of piece_[0]
    bool endOfFile_ = false;
    bool failed_ = false;
    std::string carry_; // a record that spans chunks
    const char *data_ = nullptr;
    uint64_t offset_ = 0;
    RecordScanner scanner_{',', nullptr};
};

// A table as its file describes it.
struct TableLayout {
    std::vector<ColumnInfo> columns;
    bool typed = false;      // the header declares types
    bool crlf = false;       // lines end with CR LF
    uint64_t dataOffset = 0; // the first data record
    bool emptyFile = false;  // the file holds no record at all
};

// Reads the header (or, without one, the first record) of the file.
bool readLayout(const std::string &path, const std::string &table, const TableFormat &format, TableLayout *layout);

// Field values in the engine's text (UTF-8): the field's bytes, unquoted, converted from
// the process's code page for Charset::Ansi. *out receives the text when it had to be made;
// the result views either the record or *out.
std::string_view fieldText(std::string_view raw, bool quoted, Charset charset, std::string *out);

// Text of the engine converted for a file of the charset; false (with *out unspecified)
// when a character has no code in the code page.
bool textForFile(std::string_view text, Charset charset, std::string *out);

} // namespace zotext
