// The scanner and the lexer over 10 MB of SQL, each beside SQLite's sqlite3_complete over
// the same text (which walks the text once with its own tokenizer to find the end of the
// last statement).
#include <zo/ramalloc.h>
#include <zo/zolexer.h>
#include <zo/zoscanne.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <random>
#include <string>

#include "../tests/data/sql/sqlgrammar.h"

namespace {

// About 10 MB of statements with words, numbers, quoted strings, operators and comments.
const std::string &sqlText() {
    static const std::string text = [] {
        const char *columns[] = {"id", "customer_name", "order_date", "amount", "status", "region_code"};
        const char *tables[] = {"orders", "customers", "line_items", "invoices"};
        std::mt19937 rng(7);
        std::string out;
        out.reserve(10u << 20);
        while (out.size() < (10u << 20)) {
            const char *t = tables[rng() % 4];
            out += "SELECT o.";
            out += columns[rng() % 6];
            out += ", c.";
            out += columns[rng() % 6];
            out += ", SUM(o.amount) AS total\n  FROM ";
            out += t;
            out += " o JOIN customers c ON c.id = o.customer_id\n WHERE o.amount >= ";
            out += std::to_string(rng() % 100000) + "." + std::to_string(rng() % 100);
            out += " AND c.customer_name <> 'O''Brien' AND o.status IN (1, 2, 3) -- open orders\n";
            out += " GROUP BY o.region_code ORDER BY total DESC; /* next */\n";
            out += "UPDATE ";
            out += t;
            out += " SET status = status + 1, note = \"checked\" WHERE id = ";
            out += std::to_string(rng());
            out += ";\n";
        }
        return out;
    }();
    return text;
}

const unsigned char *bytes(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); }

void scannerTokens(benchmark::State &state) {
    const std::string &text = sqlText();
    for (auto _ : state) {
        ZoScanner scanner(bytes(text), static_cast<uint32_t>(text.size()));
        scanner.recognizeComments = true;
        ZoToken token;
        uint64_t tokens = 0;
        do {
            scanner.getToken(token, searchNormal);
            ++tokens;
        } while (token.kind() != tokenEnd);
        benchmark::DoNotOptimize(tokens);
        state.counters["tokens"] = static_cast<double>(tokens);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(scannerTokens)->Unit(benchmark::kMillisecond);

void completeOver(benchmark::State &state, const std::string &text) {
    for (auto _ : state)
        benchmark::DoNotOptimize(sqlite3_complete(text.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void sqliteComplete(benchmark::State &state) { completeOver(state, sqlText()); }
BENCHMARK(sqliteComplete)->Unit(benchmark::kMillisecond);

// The same statements without comments: the lexer has no token type for them.
const std::string &sqlTextWithoutComments() {
    static const std::string text = [] {
        std::string t = sqlText();
        for (size_t p = t.find("--"); p != std::string::npos; p = t.find("--", p))
            t.replace(p, 2, "  ");
        for (size_t p = t.find("/*"); p != std::string::npos; p = t.find("/*", p))
            t.replace(p, t.find("*/", p) + 2 - p, "");
        return t;
    }();
    return text;
}

// Without keywords (argument 0), or with the keyword list of the SQL grammar matched
// ignoring case as in a parse (argument 1).
void lexerTokens(benchmark::State &state) {
    const std::string &text = sqlTextWithoutComments();
    unsigned char *packed = zoPackResourceElements(zosql::kKeywords, zosql::kKeywordCount);
    ZoKeywordList keywords(packed);
    ramFree(packed);
    if (!keywords.isOK()) {
        state.SkipWithError("the keyword list could not be made");
        return;
    }
    keywords.setCaseSensitive(0);
    ZoKeywordList *list = state.range(0) != 0 ? &keywords : nullptr;
    for (auto _ : state) {
        ZoLexer lexer(bytes(text), list);
        uint16_t type = 0;
        const unsigned char *out = nullptr;
        uint64_t tokens = 0;
        while (lexer.nextToken(&type, &out) == ZoSuccess && type != lexEnd)
            ++tokens;
        if (type != lexEnd) {
            state.SkipWithError("the lexer stopped before the end of the text");
            break;
        }
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(lexerTokens)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void sqliteCompleteWithoutComments(benchmark::State &state) { completeOver(state, sqlTextWithoutComments()); }
BENCHMARK(sqliteCompleteWithoutComments)->Unit(benchmark::kMillisecond);

} // namespace
