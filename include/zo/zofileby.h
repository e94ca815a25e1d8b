// Line reader: a text file read line by line through a buffer of the caller's size, with the
// file offset of every line, going back to earlier offsets, giving a line back, and
// unscrambling each line as it is read.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>
#include <zo/zostring.h>

// Only the pair CR LF ends a line; a lone CR or LF is ordinary text. The fields are the
// reader's state, which its owner reads and sets (seekOffset, keepEol, scrambleMode) between
// calls. Offsets are 32-bit: files up to 2 GiB can be read anywhere, larger ones only from
// the start onward.
class ZO_API ZoFileByLine : public ZoObject {
public:
    // Buffers smaller than this are made this large: a piece of an over-long line keeps
    // back the buffer's last 4 bytes, which a smaller buffer could not spare.
    static constexpr uint32_t MinBufferSize = 16;

    ZoFileByLine() = default;
    ~ZoFileByLine() override;
    ZoFileByLine(const ZoFileByLine &) = delete;
    ZoFileByLine &operator=(const ZoFileByLine &) = delete;

    // Opens the file read-only with a buffer of bufferSize bytes and starts at offset 0
    // (keepEol 1, no scrambling). An open reader is closed first. Fails (1) when the file
    // cannot be opened or memory is short.
    ZoStatus openFile(const unsigned char *name, uint32_t bufferSize);
    // Closes the file (a failure returns 1 and keeps the state) and frees the name and buffer.
    ZoStatus closeFile();

    // The next line: a view into the buffer (or into `work` when unscrambling), valid until
    // the next call. At the end of the file the line is empty and atEnd is set. A line
    // longer than the buffer comes in pieces of bufferSize - 4 bytes with lineComplete 0.
    // Fails (1) when the file cannot be read.
    ZoStatus getNextLine(ZoSubString &line);
    // Lines until one holds a character that is not white space, or the end of the file.
    ZoStatus getNextNonBlankLine(ZoSubString &line);
    // The next getNextLine returns the last line again.
    void ungetLine();

    int handle = 0;
    unsigned char *name = nullptr;
    unsigned char *buffer = nullptr; // bufferSize + 1 bytes: the data is always terminated
    uint32_t bufferSize = 0;
    uint32_t bufferLength = 0;  // bytes of file data in the buffer
    int32_t linePos = -1;       // where the next line starts in the buffer; -1: refill
    uint32_t bufferOffset = 0;  // file offset of the buffer's first byte
    uint32_t readOffset = 0;    // file offset just after the buffer's data
    uint32_t lineOffset = 0;    // file offset of the line returned last
    int32_t seekOffset = -1;    // file offset at which the next line is to start; -1: go on
    uint32_t highWater = 0;     // largest file offset reached by the end of a returned line
    uint32_t prevHighWater = 0; // highWater before the last line
    int keepEol = 1;            // returned lines include their CR LF
    int lineComplete = 0;       // the last piece ended at a line end or the end of the file
    int atEnd = 0;              // the end of the file was reached (the line is empty)
    ZoString work;              // the unscrambled copy of a line
    uint16_t scrambleMode = 0;  // 0 plain; else the mode lines are unscrambled with

private:
    bool findLineEnd(uint32_t from, uint32_t *end) const;
    ZoStatus refill(bool *found, uint32_t *end);
    ZoStatus readInto(uint32_t at, int32_t fileOffset, uint32_t length, uint32_t *got);
    ZoStatus deliver(ZoSubString &line, bool found, uint32_t end);
};
