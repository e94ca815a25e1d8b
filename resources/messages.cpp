// The resource library: the message texts of the zo library, read by number.
//
// The table (messages.txt) is included as a raw string literal and parsed at compile time
// into a table sorted by number, so lookups are a binary search over constant data and a
// malformed table stops the build. The one exported function stands for the platform's
// string-table reader: the library finds it by its C name.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "table_lines.h"

namespace {

constexpr std::string_view kSource =
#include "messages.inc"
    ;

struct Entry {
    uint32_t id;
    uint32_t offset; // into Table::text
    uint32_t length;
};

// Decoded texts can only shrink (escapes), so the source size bounds their storage.
template <std::size_t Count, std::size_t Bytes>
struct Table {
    std::array<Entry, Count> entries{};
    std::array<char, Bytes> text{};
};

// Called during constant evaluation only on a bad table: being non-constexpr, each one
// turns the fault into a compile error that names it.
void tableLineHasNoNumber() {}
void tableNumberTooLarge() {}
void tableNumberNotFollowedByBlank() {}
void tableNameMissing() {}
void tableUnknownEscape() {}
void tableDuplicateNumber() {}

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isNameChar(char c) { return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Calls `visit(line)` for every line that holds an entry (neither empty nor a comment).
template <class Visit>
constexpr void forEachEntryLine(std::string_view source, Visit visit) {
    zores::forEachTableLine(source, [&](std::string_view line) {
        if (!line.empty())
            visit(line);
    });
}

constexpr std::size_t countEntries(std::string_view source) {
    std::size_t count = 0;
    forEachEntryLine(source, [&](std::string_view) { ++count; });
    return count;
}

// Reads the number that starts a line and steps over it and the one blank after it.
constexpr uint32_t takeNumber(std::string_view &line) {
    if (line.empty() || !isDigit(line.front()))
        tableLineHasNoNumber();
    uint32_t id = 0;
    while (!line.empty() && isDigit(line.front())) {
        id = id * 10 + static_cast<uint32_t>(line.front() - '0');
        if (id > 0xFFFF)
            tableNumberTooLarge();
        line.remove_prefix(1);
    }
    if (line.empty() || (line.front() != ' ' && line.front() != '\t'))
        tableNumberNotFollowedByBlank();
    line.remove_prefix(1);
    return id;
}

// Steps over the message's name (it names the number in <zo/messages.h>, not the text)
// and the one blank after it. A name that ends the line names a message without text.
constexpr void skipName(std::string_view &line) {
    std::size_t length = 0;
    while (length < line.size() && isNameChar(line[length]))
        ++length;
    if (length == 0 || isDigit(line.front()))
        tableNameMissing();
    if (length == line.size()) {
        line = std::string_view();
        return;
    }
    if (line[length] != ' ' && line[length] != '\t')
        tableNameMissing();
    line.remove_prefix(length + 1);
}

constexpr char unescape(char c) {
    switch (c) {
    case 'r': return '\r';
    case 'n': return '\n';
    case 't': return '\t';
    case '\\': return '\\';
    default: tableUnknownEscape(); return c;
    }
}

template <std::size_t Count, std::size_t Bytes>
constexpr Table<Count, Bytes> parseTable(std::string_view source) {
    Table<Count, Bytes> table;
    std::size_t entry = 0;
    uint32_t used = 0;
    forEachEntryLine(source, [&](std::string_view line) {
        Entry &e = table.entries[entry++];
        e.id = takeNumber(line);
        skipName(line);
        e.offset = used;
        for (std::size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (c == '\\' && i + 1 < line.size())
                c = unescape(line[++i]);
            table.text[used++] = c;
        }
        e.length = used - e.offset;
    });
    std::sort(table.entries.begin(), table.entries.end(), [](const Entry &a, const Entry &b) { return a.id < b.id; });
    for (std::size_t i = 1; i < Count; ++i)
        if (table.entries[i].id == table.entries[i - 1].id)
            tableDuplicateNumber();
    return table;
}

constexpr auto kTable = parseTable<countEntries(kSource), kSource.size()>(kSource);

} // namespace

// Copies the text with the given id into buffer, cut to size - 1 bytes, and NUL-terminates
// it. Returns the number of bytes copied; 0 (and an empty buffer) when the id has no text.
extern "C" __attribute__((visibility("default"))) int zoLoadString(unsigned id, char *buffer, int size) {
    if (buffer == nullptr || size <= 0)
        return 0;
    const auto &entries = kTable.entries;
    auto found =
        std::lower_bound(entries.begin(), entries.end(), id, [](const Entry &e, unsigned key) { return e.id < key; });
    uint32_t length = 0;
    if (found != entries.end() && found->id == id) {
        length = std::min<uint32_t>(found->length, static_cast<uint32_t>(size - 1));
        std::copy_n(kTable.text.data() + found->offset, length, buffer);
    }
    buffer[length] = '\0';
    return static_cast<int>(length);
}
