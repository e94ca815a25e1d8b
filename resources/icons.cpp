// The resource library's icons, read by name.
//
// The picture table (icons.txt) is included as a raw string literal and decoded at compile
// time into pixels, so a malformed picture stops the build and a lookup only compares
// names. The exported function stands for the platform's icon loader: the window layer
// finds it by its C name.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "table_lines.h"

namespace {

constexpr std::string_view kSource =
#include "icons.inc"
    ;

constexpr std::size_t kNameSize = 32;

struct Icon {
    char name[kNameSize]; // upper case
    int width;
    int height;
    std::size_t offset; // into Table::pixels
};

template <std::size_t Count, std::size_t Pixels>
struct Table {
    std::array<Icon, Count> icons{};
    std::array<uint32_t, Pixels> pixels{};
};

// Called during constant evaluation only on a bad table: being non-constexpr, each one
// turns the fault into a compile error that names it.
void iconColourLineMalformed() {}
void iconUsesUnknownColour() {}
void iconRowsOfDifferentWidths() {}
void iconNameMissingOrTooLong() {}
void iconLineNotUnderstood() {}

constexpr bool startsWith(std::string_view line, std::string_view prefix) {
    return line.substr(0, prefix.size()) == prefix;
}

constexpr std::size_t countIcons(std::string_view source) {
    std::size_t count = 0;
    zores::forEachTableLine(source, [&](std::string_view line) { count += startsWith(line, "icon ") ? 1 : 0; });
    return count;
}

constexpr std::size_t countPixels(std::string_view source) {
    std::size_t pixels = 0;
    bool inIcon = false;
    zores::forEachTableLine(source, [&](std::string_view line) {
        if (startsWith(line, "icon "))
            inIcon = true;
        else if (line.empty())
            inIcon = false;
        else if (inIcon)
            pixels += line.size();
    });
    return pixels;
}

constexpr int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    iconColourLineMalformed();
    return 0;
}

// "colour C RRGGBB" or "colour C none": an opaque 0xFFRRGGBB pixel, or 0.
constexpr uint32_t colourOf(std::string_view value) {
    if (value == "none")
        return 0;
    if (value.size() != 6)
        iconColourLineMalformed();
    uint32_t rgb = 0;
    for (char c : value)
        rgb = rgb * 16 + static_cast<uint32_t>(hexDigit(c));
    return 0xFF000000u | rgb;
}

constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

template <std::size_t Count, std::size_t Pixels>
constexpr Table<Count, Pixels> parseTable(std::string_view source) {
    Table<Count, Pixels> table;
    std::array<uint32_t, 256> palette{};
    std::array<bool, 256> defined{};
    std::size_t icon = 0, used = 0;
    Icon *current = nullptr;
    zores::forEachTableLine(source, [&](std::string_view line) {
        if (startsWith(line, "colour ")) {
            if (line.size() < 10 || line[8] != ' ')
                iconColourLineMalformed();
            auto key = static_cast<unsigned char>(line[7]);
            palette[key] = colourOf(line.substr(9));
            defined[key] = true;
        } else if (startsWith(line, "icon ")) {
            std::string_view name = line.substr(5);
            if (name.empty() || name.size() >= kNameSize)
                iconNameMissingOrTooLong();
            current = &table.icons[icon++];
            for (std::size_t i = 0; i < name.size(); ++i)
                current->name[i] = upper(name[i]);
            current->offset = used;
        } else if (line.empty()) {
            current = nullptr;
        } else if (current != nullptr) {
            if (current->height > 0 && static_cast<std::size_t>(current->width) != line.size())
                iconRowsOfDifferentWidths();
            current->width = static_cast<int>(line.size());
            current->height++;
            for (char c : line) {
                if (!defined[static_cast<unsigned char>(c)])
                    iconUsesUnknownColour();
                table.pixels[used++] = palette[static_cast<unsigned char>(c)];
            }
        } else {
            iconLineNotUnderstood();
        }
    });
    return table;
}

constexpr auto kTable = parseTable<countIcons(kSource), countPixels(kSource)>(kSource);

bool sameName(const char *wanted, const char *upperName) {
    for (; *wanted != '\0'; ++wanted, ++upperName)
        if (upper(*wanted) != *upperName)
            return false;
    return *upperName == '\0';
}

} // namespace

// The pixels (0xAARRGGBB, row by row) of the icon with the given name, compared ignoring
// case, and its size; null when there is no such icon.
extern "C" __attribute__((visibility("default"))) const uint32_t *zoFindIcon(const char *name, int *width,
                                                                             int *height) {
    if (name == nullptr)
        return nullptr;
    for (const Icon &icon : kTable.icons) {
        if (!sameName(name, icon.name))
            continue;
        if (width != nullptr)
            *width = icon.width;
        if (height != nullptr)
            *height = icon.height;
        return kTable.pixels.data() + icon.offset;
    }
    return nullptr;
}
