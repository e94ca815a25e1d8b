// Fuzzes the query file reader over any file: the header, the first lines, the statement,
// every section (as a string and as a block, which must agree), the parameters and the
// description. One input in eight is also saved and read back, plain or scrambled, and the
// copy must show the same statement, sections and parameters when saved once more.
#include <zo/zoarray.h>
#include <zo/zoerror.h>
#include <zo/zoqueryf.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

#include "fuzz_support.h"

using zofuzz::check;

namespace {

std::string scratch(const char *suffix) {
    return (std::filesystem::temp_directory_path() / ("zo-fuzz-query-" + std::to_string(::getpid()) + suffix)).string();
}

const unsigned char *u(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.c_str()); }
std::string text(const ZoSubString &s) { return std::string(reinterpret_cast<const char *>(s.data()), s.length()); }

// Reads everything the query shows; the string and block forms of each section agree.
std::map<std::string, std::string> readAll(ZoQueryFile &query) {
    std::map<std::string, std::string> seen;
    ZoString value;
    check(query.getSqlStmt(&value) == ZoSuccess);
    seen["statement"] = text(value);
    uint32_t offset = 0;
    check(query.getFirstSectionOffset(&offset) == ZoSuccess);
    ZoArray names;
    names.setDeleteContents(true);
    check(query.getSectionNames(&names) == ZoSuccess);
    for (uint32_t i = 0; i < names.getCount(); ++i) {
        std::string name = text(*static_cast<ZoString *>(names.getAt(i)));
        check(query.getSectionChunk(u(name), &value) == ZoSuccess);
        unsigned char *block = nullptr;
        uint32_t length = 0;
        check(query.getHugeSectionChunk(u(name), &block, &length) == ZoSuccess);
        check(std::string(reinterpret_cast<char *>(block), block != nullptr ? length : 0) == text(value));
        ramFree(block);
        seen["[" + name + "]"] = text(value);
    }
    ZoArray params;
    params.setDeleteContents(true);
    seen["params ok"] = query.getParams(&params) == ZoSuccess ? "1" : "0";
    seen["params"] = std::to_string(params.getCount());
    seen["description"] = query.getDescription(&value) == ZoSuccess ? text(value) : "(none)";
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    const std::string file = scratch(".qry");
    std::FILE *f = std::fopen(file.c_str(), "wb");
    if (f == nullptr)
        return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    ZoErrorList errors(nullptr, ZoErrorList::KeepAll);
    ZoErrorKeeper::setErrorList(&errors);
    {
        ZoQueryFile query;
        if (query.openFile(u(file)) == ZoSuccess) {
            readAll(query);
            if (data[0] % 8 == 0) {
                // Saved (scrambled text may be refused), read back, saved again: a fixed point.
                const std::string copy = scratch("-copy.qry");
                query.scrambleOnSave = data[0] & 8 ? 1 : 0;
                if (query.saveAs(u(copy)) == ZoSuccess) {
                    std::map<std::string, std::string> once = readAll(query);
                    check(query.save() == ZoSuccess);
                    check(readAll(query) == once);
                }
                std::filesystem::remove(copy);
            }
        }
    }
    ZoErrorKeeper::giveUpErrorList();
    return 0;
}
