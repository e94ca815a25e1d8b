#include "csv.h"

#include <cstring>

namespace zotext {

void RecordScanner::start() {
    state_ = State::FieldStart;
    consumed_ = 0;
    fieldStart_ = 0;
    fieldQuoted_ = false;
    pendingLead_ = false;
    crBeforePiece_ = false;
    contentSize_ = 0;
    fields_.clear();
}

void RecordScanner::endField(uint64_t at) {
    fields_.push_back(FieldSpan{static_cast<uint32_t>(fieldStart_), static_cast<uint32_t>(at), fieldQuoted_});
    fieldStart_ = at + 1;
    fieldQuoted_ = false;
    state_ = State::FieldStart;
}

// The record's content ends at lineEnd (its LF, or the file's end); a CR right before the
// LF belongs to the line end.
void RecordScanner::endRecord(uint64_t lineEnd, uint64_t afterLineEnd) {
    endField(lineEnd);
    contentSize_ = static_cast<uint32_t>(lineEnd);
    consumed_ = afterLineEnd;
}

// The offset of the next delimiter or LF at or after i in the piece; size or more when
// there is none (size + 1 when the piece ends inside a double-byte character).
uint32_t RecordScanner::scanUnquoted(const char *piece, uint32_t size, uint32_t i) const {
    if (lead_ == nullptr) {
        const char d = delimiter_;
        for (; i < size; ++i) {
            char c = piece[i];
            if (c == d || c == '\n')
                return i;
        }
        return size;
    }
    while (i < size) {
        char c = piece[i];
        if (c == delimiter_ || c == '\n')
            return i;
        i += lead_[static_cast<unsigned char>(c)];
    }
    return i;
}

bool RecordScanner::feed(const char *piece, uint32_t size, uint32_t from, uint32_t *end) {
    // Offsets within the record are consumed_ (the record's bytes before this piece's byte
    // `from`) plus the distance from `from`.
    const uint64_t base = consumed_ - from;
    uint32_t i = from;
    if (pendingLead_ && i < size) {
        ++i; // the second byte of a character begun in the last piece
        pendingLead_ = false;
    }
    while (i < size) {
        switch (state_) {
        case State::FieldStart:
            if (piece[i] == '"') {
                fieldQuoted_ = true;
                state_ = State::Quoted;
                ++i;
                break;
            }
            state_ = State::Unquoted;
            [[fallthrough]];
        case State::Unquoted:
        case State::AfterQuoted: {
            uint32_t stop = scanUnquoted(piece, size, i);
            if (stop >= size) {
                pendingLead_ = stop > size;
                i = size;
                break;
            }
            if (piece[stop] == '\n') {
                uint64_t lineEnd = base + stop;
                bool cr = stop > 0 ? piece[stop - 1] == '\r' : false;
                // A CR that came at the end of the previous piece is the record's last byte.
                if (stop == 0 && lineEnd > 0)
                    cr = crBeforePiece_;
                endRecord(cr ? lineEnd - 1 : lineEnd, lineEnd + 1);
                *end = stop + 1;
                return true;
            }
            endField(base + stop);
            i = stop + 1;
            break;
        }
        case State::Quoted: {
            const void *quote = std::memchr(piece + i, '"', size - i);
            if (quote == nullptr) {
                i = size;
                break;
            }
            i = static_cast<uint32_t>(static_cast<const char *>(quote) - piece) + 1;
            state_ = State::QuoteInQuoted;
            break;
        }
        case State::QuoteInQuoted:
            // A doubled quote stays inside; any other byte ends the quoted part.
            if (piece[i] == '"') {
                state_ = State::Quoted;
                ++i;
            } else {
                state_ = State::AfterQuoted;
            }
            break;
        }
    }
    crBeforePiece_ = size > 0 && piece[size - 1] == '\r';
    consumed_ = base + size;
    return false;
}

bool RecordScanner::finishAtEnd() {
    bool closed = state_ != State::Quoted;
    uint64_t contentEnd = consumed_;
    if (crBeforePiece_ && contentEnd > 0 && state_ != State::Quoted)
        --contentEnd; // a CR at the very end of the file is a line end without its LF
    endRecord(contentEnd, consumed_);
    return closed;
}

void appendFieldValue(std::string_view raw, bool quoted, std::string *out) {
    if (!quoted) {
        out->append(raw);
        return;
    }
    size_t i = 1;
    while (i < raw.size()) {
        size_t quote = raw.find('"', i);
        if (quote == std::string_view::npos) {
            out->append(raw.substr(i)); // an unterminated quote at the very end of the file
            return;
        }
        out->append(raw.substr(i, quote - i));
        if (quote + 1 < raw.size() && raw[quote + 1] == '"') {
            *out += '"';
            i = quote + 2;
            continue;
        }
        out->append(raw.substr(quote + 1)); // bytes after the closing quote, as written
        return;
    }
}

void appendField(std::string_view text, char delimiter, std::string *out) {
    bool quote = text.empty() || text.front() == '"';
    for (char c : text) {
        if (c == delimiter || c == '"' || c == '\n' || c == '\r') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out->append(text);
        return;
    }
    *out += '"';
    for (char c : text) {
        if (c == '"')
            *out += '"';
        *out += c;
    }
    *out += '"';
}

} // namespace zotext
