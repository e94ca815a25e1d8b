// Attribute strings from arbitrary bytes, with braced values on or off: parsing never
// crashes, and a text that parses is rebuilt by buildString into a text that parses to the
// same attributes. Lookups and edits are exercised on the way.
#include <zo/pertask.h>
#include <zo/zoerror.h>
#include <zo/zovaluep.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/codepage.h"

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

std::string str(const ZoSubString *s) { return std::string(reinterpret_cast<const char *>(s->data()), s->length()); }

Attributes attributesOf(ZoValueParser &parser) {
    Attributes out;
    for (uint16_t i = 0; i < parser.getAttributeCount(); ++i) {
        const ZoSubString *key = parser.getAttributeKey(i);
        const ZoSubString *value = parser.getAttributeValue(key);
        if (value == nullptr)
            std::abort(); // every key is found
        out.emplace_back(str(key), str(value));
    }
    return out;
}

// True when some value's last character is longer than the bytes left for it.
bool endsCutShort(const Attributes &attributes) {
    const unsigned char *lengths = mdsCharLengthTable();
    for (const auto &[key, value] : attributes) {
        size_t i = 0;
        while (i < value.size() && i + lengths[static_cast<unsigned char>(value[i])] <= value.size())
            i += lengths[static_cast<unsigned char>(value[i])] != 0 ? lengths[static_cast<unsigned char>(value[i])] : 1;
        if (i < value.size())
            return true;
    }
    return false;
}

// Rebuilds the parser's text into out: true when done; false only for the one thing braces
// cannot carry, a value whose last character is cut short.
bool rebuild(ZoValueParser &parser, bool braced, ZoString *out) {
    if (parser.buildString(out) == ZoSuccess)
        return true;
    if (!braced || !endsCutShort(attributesOf(parser)))
        std::abort();
    return false;
}

void checkRoundTrips(ZoValueParser &parser, unsigned char separator, unsigned duplicates, bool braced) {
    if (parser.getUnusedCount() != parser.getAttributeCount())
        std::abort();
    const Attributes first = attributesOf(parser);
    if (parser.getUnusedCount() != 0 || parser.getUnusedAttribute() != nullptr)
        std::abort();
    ZoString rebuilt;
    if (!rebuild(parser, braced, &rebuilt))
        return;
    ZoValueParser again(&rebuilt, separator, nullptr, duplicates);
    again.setBracedValues(braced);
    if (again.initialize() != ZoSuccess || attributesOf(again) != first)
        std::abort();

    // Edits: an added value that needs quotes (or braces) survives a rebuild and a parse.
    const auto *key = reinterpret_cast<const unsigned char *>("Added Key");
    if (parser.addAttribute(key, reinterpret_cast<const unsigned char *>("a;b,'c\""), nullptr) != ZoSuccess)
        std::abort();
    const std::string firstKey = str(parser.getAttributeKey(0)); // NUL-terminated copy
    parser.removeAttribute(reinterpret_cast<const unsigned char *>(firstKey.c_str()));
    ZoString edited;
    if (!rebuild(parser, braced, &edited))
        return;
    ZoValueParser third(&edited, separator, nullptr, duplicates);
    third.setBracedValues(braced);
    const char *expected = braced ? "a;b,'c\"" : "'a;b,''c\"'"; // braced: kept as given
    if (third.initialize() == ZoSuccess && third.isAttributeValue(key) && str(third.getAttributeValue(key)) != expected)
        std::abort();
    (void)parser.resetUnused(); // fails only for attributes added later: none here
    parser.getUnusedCount();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 4096)
        return 0;
    const uint8_t mode = data[0];
    const unsigned char separator = (mode & 1) ? ',' : ';';
    const unsigned duplicates = (mode >> 1) & 1;
    static unsigned current = 1252;
    if (current != ((mode & 4) ? 932u : 1252u)) {
        current = (mode & 4) ? 932u : 1252u;
        zo::plat::setCodePageForTest(current);
    }
    uint32_t utf8 = ZoCharModeUtf8;
    mdsSetPerThreadData(PerThreadCharMode, (mode & 8) ? &utf8 : nullptr);
    ZoErrorList errors(nullptr, 0);
    ZoErrorKeeper::setErrorList(&errors);

    const bool braced = (mode & 32) != 0;
    ZoSubString text(data + 1, static_cast<uint32_t>(size - 1));
    ZoValueParser parser(&text, separator, (mode & 16) ? reinterpret_cast<const unsigned char *>("fuzz") : nullptr,
                         duplicates);
    parser.setBracedValues(braced);
    if (parser.initialize() == ZoSuccess)
        checkRoundTrips(parser, separator, duplicates, braced);

    ZoErrorKeeper::giveUpErrorList();
    mdsSetPerThreadData(PerThreadCharMode, nullptr);
    return 0;
}
