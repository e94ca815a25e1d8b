// Changing table files: a change never edits a file in place. It writes the table's new
// contents to a new file in the same directory (records it keeps copied byte for byte,
// records it changes written anew), makes that file durable, and the connection then puts
// it in place with a rename (or keeps it as its pending copy inside a transaction).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "expr.h"
#include "value.h"

namespace zotext {

// A new file written through a buffer; finish() makes it durable when asked.
class FileWriter {
public:
    FileWriter() = default;
    ~FileWriter();
    FileWriter(const FileWriter &) = delete;
    FileWriter &operator=(const FileWriter &) = delete;

    bool create(const std::string &path);
    // Opens an existing file to add to its end.
    bool openForAppend(const std::string &path, uint64_t *size);
    bool append(std::string_view bytes);
    // Writes what is buffered, syncs it to the device when `durable` and closes; false with
    // an error.
    bool finish(bool durable);
    // Closes and deletes the file (nothing is recorded).
    void discard();
    // Cuts an appended-to file back to `size` and closes it.
    void truncateTo(uint64_t size);
    const std::string &path() const { return path_; }

private:
    bool flush();

    int handle_ = 0;
    std::string path_;
    std::string buffer_;
    bool appending_ = false;
};

// Renames `from` over `to` (which may exist) in one step, the way a table file is put in
// place: readers see the old file or the new one.
bool replaceFile(const std::string &from, const std::string &to);

// Appends one record: the values as fields (NULL empty, text quoted where it must be,
// numbers as SQLite writes them, reals exactly), then the line end. False with an error
// when a text has no code in the file's code page.
bool appendRecord(const Val *values, size_t count, const TableFormat &format, bool crlf, std::string *out);
// The text a value is stored as (empty for NULL).
std::string_view storedText(const Val &value, std::string *buffer);

// Syncs a finished file to the device (one written without it); false with an error.
bool syncFile(const std::string &path);

// Copies the bytes [from, to) of a file (to past its end: the rest of it) into the writer;
// *lastByte receives the last byte copied ('\n' when none).
bool copyFileRange(const std::string &path, uint64_t from, uint64_t to, FileWriter &writer, char *lastByte);

} // namespace zotext
