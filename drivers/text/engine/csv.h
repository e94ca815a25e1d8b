// Records of a delimited text file: finding where a record ends and where its fields lie,
// over the file's bytes as they arrive in pieces, and writing fields back.
//
// The format. A record is one line, ended by LF or CR LF (the last one may end with the
// file). Fields are separated by the delimiter byte. A field that starts with a double
// quote is quoted: it runs to the next lone quote, may hold delimiters, line ends and
// doubled quotes (one quote each), and bytes after its closing quote up to the delimiter
// belong to it as written. A quote inside an unquoted field is an ordinary byte. An empty
// unquoted field is NULL; a quoted empty field ("") is the empty text. A line with nothing
// on it is a record of one NULL field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zotext {

// Where a field lies in its record: bytes [start, end), the quotes included.
struct FieldSpan {
    uint32_t start;
    uint32_t end;
    bool quoted;
};

// Finds the end of one record and its fields while the record's bytes are fed in pieces.
// Field offsets count from the record's first byte.
class RecordScanner {
public:
    // lead: for double-byte code pages, the table of character lengths by first byte, so
    // that a delimiter byte that is the second byte of a character is not taken for one
    // (null when the delimiter cannot be such a byte).
    RecordScanner(char delimiter, const unsigned char *lead) : delimiter_(delimiter), lead_(lead) {}

    void start();
    // Reads on in the piece from byte `from`. True when the record ends in it: *end is the
    // offset within the piece just past the record's line end. False when every byte was
    // used and the record goes on in the next piece.
    bool feed(const char *piece, uint32_t size, uint32_t from, uint32_t *end);
    // The file ended: closes the record. False when a quoted field was still open.
    bool finishAtEnd();

    // Bytes of the record fed so far, line end included once it has ended.
    uint64_t consumed() const { return consumed_; }
    // The record's fields (valid once it has ended), without the line end.
    const std::vector<FieldSpan> &fields() const { return fields_; }
    // Bytes of the record without its line end.
    uint32_t contentSize() const { return contentSize_; }

private:
    enum class State : uint8_t { FieldStart, Unquoted, Quoted, QuoteInQuoted, AfterQuoted };
    void endField(uint64_t at);
    void endRecord(uint64_t lineEnd, uint64_t afterLineEnd);
    uint32_t scanUnquoted(const char *piece, uint32_t size, uint32_t i) const;

    char delimiter_;
    const unsigned char *lead_;
    State state_ = State::FieldStart;
    uint64_t consumed_ = 0;
    uint64_t fieldStart_ = 0;
    bool fieldQuoted_ = false;
    bool pendingLead_ = false;   // the piece ended inside a double-byte character
    bool crBeforePiece_ = false; // the last piece ended with a CR
    uint32_t contentSize_ = 0;
    std::vector<FieldSpan> fields_;
};

// The value of a field's bytes: unquoted bytes as they are; a quoted field without its
// quotes, doubled quotes made single, and bytes after the closing quote appended.
void appendFieldValue(std::string_view raw, bool quoted, std::string *out);
// Appends a text as a field: quoted when it holds the delimiter, a quote, a line end, is
// empty (to tell it from NULL) or starts with a quote.
void appendField(std::string_view text, char delimiter, std::string *out);

} // namespace zotext
