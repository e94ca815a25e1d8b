#include "modify.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <zo/bosfile.h>

#include "errors.h"

namespace zotext {

namespace {

constexpr size_t kFlushSize = 256 * 1024;

bool nameOf(const std::string &path, unsigned char (&name)[256]) {
    if (path.size() >= sizeof name)
        return false;
    std::memcpy(name, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

FileWriter::~FileWriter() { discard(); }

bool FileWriter::create(const std::string &path) {
    discard();
    unsigned char name[256];
    if (!nameOf(path, name))
        return fail(EngineError::FileError, "the path is too long: " + path);
    if (bosFileOpen(name, BOS_CREATE, &handle_) != ZoSuccess)
        return fail(EngineError::FileError, "cannot create the file " + path);
    path_ = path;
    appending_ = false;
    buffer_.clear();
    return true;
}

bool FileWriter::openForAppend(const std::string &path, uint64_t *size) {
    discard();
    unsigned char name[256];
    if (!nameOf(path, name))
        return fail(EngineError::FileError, "the path is too long: " + path);
    if (bosFileOpen(name, BOS_READWRITE, &handle_) != ZoSuccess)
        return fail(EngineError::FileError, "cannot open the file " + path);
    uint32_t end = bosFileSeek(handle_, 0, 2);
    if (end == 0xFFFFFFFF || end > 0x7FFFFFFF) {
        (void)bosFileClose(handle_); // only read so far
        handle_ = 0;
        return fail(EngineError::FileError, "cannot append to the file " + path);
    }
    *size = end;
    path_ = path;
    appending_ = true;
    buffer_.clear();
    return true;
}

bool FileWriter::flush() {
    if (buffer_.empty())
        return true;
    if (bosFileWrite(handle_, -1, buffer_.data(), static_cast<uint32_t>(buffer_.size())) != ZoSuccess)
        return fail(EngineError::FileError, "cannot write the file " + path_);
    buffer_.clear();
    return true;
}

bool FileWriter::append(std::string_view bytes) {
    buffer_.append(bytes);
    return buffer_.size() < kFlushSize || flush();
}

bool FileWriter::finish(bool durable) {
    if (!flush())
        return false;
    if (durable && bosFileCommit(handle_) != ZoSuccess)
        return fail(EngineError::FileError, "cannot write the file " + path_ + " through to the disk");
    int handle = handle_;
    handle_ = 0;
    if (bosFileClose(handle) != ZoSuccess)
        return fail(EngineError::FileError, "cannot close the file " + path_);
    return true;
}

void FileWriter::discard() {
    if (handle_ == 0)
        return;
    (void)bosFileClose(handle_); // the file is given up
    handle_ = 0;
    buffer_.clear();
    if (!appending_)
        (void)bosFileDelete(reinterpret_cast<const unsigned char *>(path_.c_str())); // best effort
}

void FileWriter::truncateTo(uint64_t size) {
    if (handle_ == 0)
        return;
    buffer_.clear();
    // Undoing an append that failed: when even this fails the file keeps the partial
    // rows, which the error already reported makes known.
    (void)bosFileSize(handle_, static_cast<uint32_t>(size));
    (void)bosFileClose(handle_);
    handle_ = 0;
}

bool syncFile(const std::string &path) {
    unsigned char name[256];
    int handle = 0;
    if (!nameOf(path, name) || bosFileOpen(name, 0, &handle) != ZoSuccess)
        return fail(EngineError::FileError, "cannot open the file " + path);
    bool ok = bosFileCommit(handle) == ZoSuccess;
    (void)bosFileClose(handle); // only synced
    return ok || fail(EngineError::FileError, "cannot write the file " + path + " through to the disk");
}

bool replaceFile(const std::string &from, const std::string &to) {
    return bosFileReplace(reinterpret_cast<const unsigned char *>(from.c_str()),
                          reinterpret_cast<const unsigned char *>(to.c_str())) == ZoSuccess;
}

std::string_view storedText(const Val &value, std::string *buffer) {
    if (value.type != Val::Real)
        return textOf(value, buffer);
    // Reals are stored so that they read back exactly: the short form when it does, else
    // all 17 digits.
    buffer->clear();
    appendReal(value.r, buffer);
    if (std::isfinite(value.r) && std::strtod(buffer->c_str(), nullptr) != value.r) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", value.r);
        buffer->assign(text);
    }
    return *buffer;
}

bool appendRecord(const Val *values, size_t count, const TableFormat &format, bool crlf, std::string *out) {
    std::string text, converted;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            *out += format.delimiter;
        if (values[i].isNull())
            continue;
        std::string_view field = storedText(values[i], &text);
        if (!textForFile(field, format.charset, &converted))
            return fail(EngineError::NotInCodePage,
                        "the text '" + std::string(field) + "' has characters the table's code page cannot hold");
        appendField(converted, format.delimiter, out);
    }
    *out += crlf ? "\r\n" : "\n";
    return true;
}

bool copyFileRange(const std::string &path, uint64_t from, uint64_t to, FileWriter &writer, char *lastByte) {
    unsigned char name[256];
    int handle = 0;
    if (!nameOf(path, name) || bosFileOpen(name, 0, &handle) != ZoSuccess)
        return fail(EngineError::FileError, "cannot open the table file " + path);
    const size_t chunkSize = static_cast<size_t>(std::min<uint64_t>(to - from, 1 << 20));
    auto chunk = std::make_unique_for_overwrite<char[]>(std::max<size_t>(chunkSize, 1));
    bool ok = true;
    *lastByte = '\n';
    for (uint64_t at = from; ok && at < to;) {
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(chunkSize, to - at));
        uint32_t got = 0;
        ok = at <= 0x7FFFFFFF && bosFileRead(handle, static_cast<int32_t>(at), chunk.get(), want, &got) == ZoSuccess;
        if (!ok) {
            (void)fail(EngineError::FileError, "cannot read the table file " + path);
            break;
        }
        if (got == 0)
            break; // the end of the file
        *lastByte = chunk[got - 1];
        ok = writer.append(std::string_view(chunk.get(), got));
        at += got;
    }
    (void)bosFileClose(handle); // only read
    return ok;
}

} // namespace zotext
