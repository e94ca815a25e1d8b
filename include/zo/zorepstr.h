// In-place rewriting of a ZoString: read the old contents from the front, write the new
// contents behind them into the same buffer.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zostring.h>

// A rewrite of a ZoString kept as a gap buffer: the new bytes written so far at the start
// of the target's buffer, then a gap, then the old bytes not yet read. The view itself
// (data(), length()) is the unread rest. Consuming unread bytes widens the gap; writing
// fills it; when a write does not fit, the buffer grows by what is needed plus 512 bytes
// of slack. finish() (or the destructor) closes the gap and trims the buffer to its
// contents.
//
// While the rewrite runs, the target belongs to it: its own length is not kept up to date
// and it must not be changed through other means.
class ZO_API ZoReplaceString : public ZoSubString {
public:
    ZoReplaceString() = default;
    explicit ZoReplaceString(ZoString *target) { start(target); }
    ~ZoReplaceString() override;
    ZoReplaceString(const ZoReplaceString &) = delete;
    ZoReplaceString &operator=(const ZoReplaceString &) = delete;

    // Starts rewriting target (after finishing a rewrite in progress): nothing written yet,
    // all of its contents unread. A null target leaves the rewriter idle.
    void start(ZoString *target);
    // Gives the target its final contents, the written bytes followed by the unread rest
    // (no terminating NUL is written), and leaves the rewriter idle. Nothing happens
    // without a target.
    void finish();

    ZoString *target() const { return target_; }
    uint32_t writePosition() const { return write_; }
    uint32_t readPosition() const { return read_; }

    // Moves the next n unread bytes (at most the unread length) to the written side as
    // they are. Never needs memory.
    void keep(uint32_t n);
    // Drops the next n unread bytes (at most the unread length).
    void skip(uint32_t n);
    // Writes n bytes at the write position. The bytes may lie anywhere in the target's own
    // buffer. Fails, writing nothing, when there is no target or the target cannot grow.
    ZoStatus concat(const unsigned char *bytes, uint32_t n);
    // Writes the quoted form of the n bytes: the quote, the bytes with every quote byte
    // doubled (stepping by lead byte: a double-byte character is never looked into; a lead
    // byte in the last position is written alone), the quote. The unread rest is left as
    // it is. Fails, writing nothing, as concat does.
    ZoStatus addQuotedBytes(const unsigned char *bytes, uint32_t n, unsigned char quote);
    // Replaces the next n unread bytes (at most the unread length) by the m bytes given
    // (which may lie among them). On failure nothing changes.
    ZoStatus replace(uint32_t n, const unsigned char *bytes, uint32_t m);

private:
    class Source;

    uint32_t gap() const { return read_ - write_; }
    ZoStatus makeRoom(uint32_t n, uint32_t *shift);
    void consume(uint32_t n);

    ZoString *target_ = nullptr;
    uint32_t write_ = 0;
    uint32_t read_ = 0;
};
