// The line walk shared by the resource tables parsed at compile time.
#pragma once

#include <cstddef>
#include <string_view>

namespace zores {

// Calls `visit(line)` for every line of the table that is not a comment ('#' first), empty
// lines included, without its line end (LF or CR LF).
template <class Visit>
constexpr void forEachTableLine(std::string_view source, Visit visit) {
    while (!source.empty()) {
        std::size_t end = source.find('\n');
        std::string_view line = source.substr(0, end);
        source = end == std::string_view::npos ? std::string_view() : source.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() != '#')
            visit(line);
    }
}

} // namespace zores
