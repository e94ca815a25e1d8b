// The record scanner against a plain model of the format, on random bytes fed in random
// pieces: where records end and where their fields lie must not depend on how the file
// arrives, and must be what the format says.
#include "engine_support.h"

#include <random>

#include "engine/csv.h"

namespace enginetest {
namespace {

struct ModelRecord {
    std::vector<std::string> fields; // values, unquoted
    bool unterminated = false;
};

// The format, read the simple way: one record after another over the whole text.
std::vector<ModelRecord> modelRecords(const std::string &text, char delimiter) {
    std::vector<ModelRecord> records;
    size_t i = 0;
    while (i < text.size()) {
        ModelRecord record;
        std::string field;
        // A CR outside quotes right before the line end (or the file's end) belongs to it.
        bool inQuotes = false, atStart = true, ended = false, crOutside = false;
        for (; i < text.size(); ++i) {
            char c = text[i];
            if (inQuotes) {
                crOutside = false;
                if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else if (c == '"') {
                    inQuotes = false;
                } else {
                    field += c;
                }
                continue;
            }
            if (atStart && c == '"') {
                inQuotes = true;
                atStart = false;
                continue;
            }
            atStart = false;
            if (c == delimiter || c == '\n') {
                if (c == '\n' && crOutside)
                    field.pop_back();
                record.fields.push_back(field);
                field.clear();
                crOutside = false;
                atStart = true;
                if (c == '\n') {
                    ++i;
                    ended = true;
                    break;
                }
                continue;
            }
            field += c;
            crOutside = c == '\r';
        }
        if (!ended) {
            record.unterminated = inQuotes;
            if (crOutside)
                field.pop_back();
            record.fields.push_back(field);
        }
        records.push_back(std::move(record));
    }
    return records;
}

// The scanner over the text cut into pieces at the given points.
std::vector<ModelRecord> scannedRecords(const std::string &text, char delimiter, const std::vector<size_t> &cuts) {
    std::vector<ModelRecord> records;
    zotext::RecordScanner scanner(delimiter, nullptr);
    std::vector<std::string> pieces;
    size_t from = 0;
    for (size_t cut : cuts) {
        pieces.push_back(text.substr(from, cut - from));
        from = cut;
    }
    pieces.push_back(text.substr(from));
    scanner.start();
    std::string record; // the bytes of the record so far
    auto take = [&](bool closed) {
        ModelRecord r;
        r.unterminated = !closed;
        for (const zotext::FieldSpan &span : scanner.fields()) {
            std::string value;
            zotext::appendFieldValue(std::string_view(record).substr(span.start, span.end - span.start), span.quoted,
                                     &value);
            r.fields.push_back(value);
        }
        records.push_back(std::move(r));
        record.clear();
        scanner.start();
    };
    for (const std::string &piece : pieces) {
        uint32_t at = 0;
        while (at < piece.size()) {
            uint32_t end = 0;
            uint32_t start = at;
            if (scanner.feed(piece.data(), static_cast<uint32_t>(piece.size()), at, &end)) {
                record.append(piece, start, end - start);
                take(true);
                at = end;
            } else {
                record.append(piece, start, piece.size() - start);
                at = static_cast<uint32_t>(piece.size());
            }
        }
    }
    if (scanner.consumed() > 0)
        take(scanner.finishAtEnd());
    return records;
}

TEST(Csv, PiecesDoNotChangeRecordsOrFields) {
    std::mt19937 random(5);
    const char alphabet[] = {'a', 'b', ',', ';', '"', '"', '\n', '\r', ' '};
    for (int round = 0; round < 3000 / kScale; ++round) {
        std::string text;
        size_t length = random() % 40;
        for (size_t i = 0; i < length; ++i)
            text += alphabet[random() % sizeof alphabet];
        char delimiter = round % 2 ? ',' : ';';
        std::vector<ModelRecord> expected = modelRecords(text, delimiter);
        for (int split = 0; split < 4; ++split) {
            std::vector<size_t> cuts;
            for (size_t i = 1; i < text.size(); ++i)
                if (random() % 4 == 0)
                    cuts.push_back(i);
            std::vector<ModelRecord> got = scannedRecords(text, delimiter, cuts);
            ASSERT_EQ(got.size(), expected.size()) << "text: " << text;
            for (size_t r = 0; r < got.size(); ++r) {
                EXPECT_EQ(got[r].fields, expected[r].fields) << "text: " << text << " record " << r;
                EXPECT_EQ(got[r].unterminated, expected[r].unterminated) << "text: " << text << " record " << r;
            }
        }
    }
}

TEST(Csv, FieldsAreQuotedWhereTheyMustBe) {
    struct Case {
        const char *value;
        const char *written;
    };
    for (const Case &c :
         {Case{"plain", "plain"}, Case{"", "\"\""}, Case{"a,b", "\"a,b\""}, Case{"say \"x\"", "\"say \"\"x\"\"\""},
          Case{"\"q", "\"\"\"q\""}, Case{"l1\nl2", "\"l1\nl2\""}, Case{"cr\r", "\"cr\r\""}, Case{"a;b", "a;b"}}) {
        std::string out;
        zotext::appendField(c.value, ',', &out);
        EXPECT_EQ(out, c.written);
        // What is written reads back as the value.
        std::string back;
        zotext::appendFieldValue(out, !out.empty() && out[0] == '"', &back);
        EXPECT_EQ(back, c.value);
    }
}

} // namespace
} // namespace enginetest
