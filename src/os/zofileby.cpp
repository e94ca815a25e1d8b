// The line reader: lines found in a buffer of file data are returned in place; the buffer is
// refilled from a requested offset, or by moving the unfinished line to its front and
// reading on.
#include <zo/zofileby.h>

#include <zo/bosfile.h>
#include <zo/convert.h>

#include <cctype>
#include <cstring>

namespace {

// The piece of an over-long line leaves this many bytes at the end of a full buffer, so
// that a CR there is still seen with the LF that may follow it.
constexpr uint32_t HeldBack = 4;

} // namespace

ZoFileByLine::~ZoFileByLine() {
    if (handle > 0)
        (void)closeFile(); // nothing to report to from a destructor
    ramFree(name);
    ramFree(buffer);
}

ZoStatus ZoFileByLine::openFile(const unsigned char *fileName, uint32_t size) {
    if (handle != 0 && closeFile() != ZoSuccess)
        return ZoFailure;
    bufferOffset = readOffset = lineOffset = highWater = prevHighWater = 0;
    seekOffset = -1;
    linePos = -1;
    bufferLength = 0;
    keepEol = 1;
    lineComplete = atEnd = 0;
    scrambleMode = 0;
    bufferSize = size < MinBufferSize ? MinBufferSize : size;
    ramFree(name);
    ramFree(buffer);
    name = ramAllocStr(fileName);
    buffer = bufferSize < 0xFFFFFFFF ? static_cast<unsigned char *>(ramAlloc(bufferSize + 1)) : nullptr;
    if (name == nullptr || buffer == nullptr || bosFileOpen(name, 0, &handle) != ZoSuccess) {
        ramFree(name);
        ramFree(buffer);
        name = buffer = nullptr;
        handle = 0;
        return ZoFailure;
    }
    buffer[0] = '\0';
    return ZoSuccess;
}

ZoStatus ZoFileByLine::closeFile() {
    if (bosFileClose(handle) != ZoSuccess)
        return ZoFailure;
    handle = 0;
    ramFree(name);
    ramFree(buffer);
    name = buffer = nullptr;
    bufferLength = 0;
    linePos = -1;
    return ZoSuccess;
}

// The CR of the first CR LF pair of the data at or after from.
bool ZoFileByLine::findLineEnd(uint32_t from, uint32_t *end) const {
    const unsigned char *limit = buffer + bufferLength;
    const unsigned char *p = buffer + from;
    while (p < limit) {
        auto *cr = static_cast<const unsigned char *>(std::memchr(p, '\r', static_cast<std::size_t>(limit - p)));
        if (cr == nullptr)
            return false;
        if (cr + 1 < limit && cr[1] == '\n') {
            *end = static_cast<uint32_t>(cr - buffer);
            return true;
        }
        p = cr + 1;
    }
    return false;
}

ZoStatus ZoFileByLine::readInto(uint32_t at, int32_t fileOffset, uint32_t length, uint32_t *got) {
    *got = 0;
    if (length == 0)
        return ZoSuccess;
    return bosFileRead(handle, fileOffset, buffer + at, length, got);
}

// Reads more data: from the requested offset into an empty buffer, or after the unfinished
// line, moved to the front. The state is brought up to date before the read, so a failed
// read leaves a buffer that a later call can go on from.
ZoStatus ZoFileByLine::refill(bool *found, uint32_t *end) {
    uint32_t got = 0;
    if (linePos < 0) {
        bool seeking = seekOffset >= 0;
        uint32_t from = seeking ? static_cast<uint32_t>(seekOffset) : readOffset;
        if (readInto(0, seeking ? seekOffset : -1, bufferSize, &got) != ZoSuccess)
            return ZoFailure;
        bufferOffset = from;
        readOffset = from + got;
        bufferLength = got;
        seekOffset = -1;
    } else {
        auto start = static_cast<uint32_t>(linePos);
        std::memmove(buffer, buffer + start, bufferLength - start);
        bufferOffset += start;
        bufferLength -= start;
        linePos = 0;
        buffer[bufferLength] = '\0';
        if (readInto(bufferLength, -1, bufferSize - bufferLength, &got) != ZoSuccess)
            return ZoFailure;
        bufferLength += got;
        readOffset += got;
    }
    linePos = 0;
    buffer[bufferLength] = '\0';
    *found = got > 0 && findLineEnd(0, end);
    return ZoSuccess;
}

// Returns the line (or the piece of one) that starts at linePos and moves past it.
ZoStatus ZoFileByLine::deliver(ZoSubString &line, bool found, uint32_t end) {
    auto start = static_cast<uint32_t>(linePos);
    uint32_t length;
    uint32_t next;
    if (found) {
        length = end - start + (keepEol != 0 ? 2 : 0);
        next = end + 2;
        lineComplete = 1;
    } else if (bufferLength == bufferSize) {
        length = bufferSize - HeldBack - start;
        next = start + length;
        lineComplete = 0;
    } else {
        length = bufferLength - start;
        next = bufferLength;
        lineComplete = 1;
    }
    atEnd = !found && length == 0 ? 1 : 0;
    linePos = static_cast<int32_t>(next);
    prevHighWater = highWater;
    if (bufferOffset + next > highWater)
        highWater = bufferOffset + next;
    if (scrambleMode == 0) {
        line.set(buffer + start, length);
        return ZoSuccess;
    }
    if (work.capacity() < length + 1 && work.initialize(length + 1, 0) != ZoSuccess)
        return ZoFailure;
    std::memcpy(work.data(), buffer + start, length);
    work.data()[length] = '\0';
    work.setLength(length);
    decrypt(work.data(), length, scrambleMode, nullptr);
    line.set(work.data(), length);
    return ZoSuccess;
}

ZoStatus ZoFileByLine::getNextLine(ZoSubString &line) {
    line.set(nullptr, 0);
    if (handle == 0)
        return ZoFailure;
    bool found = false;
    uint32_t end = 0;
    if (linePos >= 0) {
        if (seekOffset >= 0) {
            auto seek = static_cast<uint32_t>(seekOffset);
            if (seek >= bufferOffset && seek - bufferOffset < bufferLength) {
                linePos = static_cast<int32_t>(seek - bufferOffset);
                seekOffset = -1;
                found = findLineEnd(static_cast<uint32_t>(linePos), &end);
            } else {
                linePos = -1;
            }
        } else if (static_cast<uint32_t>(linePos) < bufferLength) {
            found = findLineEnd(static_cast<uint32_t>(linePos), &end);
        } else {
            linePos = -1;
        }
    }
    if (!found && refill(&found, &end) != ZoSuccess)
        return ZoFailure;
    lineOffset = bufferOffset + static_cast<uint32_t>(linePos);
    return deliver(line, found, end);
}

ZoStatus ZoFileByLine::getNextNonBlankLine(ZoSubString &line) {
    for (;;) {
        if (getNextLine(line) != ZoSuccess)
            return ZoFailure;
        if (atEnd != 0)
            return ZoSuccess;
        for (uint32_t i = 0; i < line.length(); ++i)
            if (!std::isspace(line.data()[i]))
                return ZoSuccess;
    }
}

void ZoFileByLine::ungetLine() {
    seekOffset = static_cast<int32_t>(lineOffset);
    if (highWater > prevHighWater)
        highWater = prevHighWater = lineOffset;
}
