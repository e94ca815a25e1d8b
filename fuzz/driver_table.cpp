// Fuzzes the text driver's engine with arbitrary table files: the first byte chooses the
// delimiter, header and character set, the rest is the file. Every query gives rows or an
// error, and a change (rolled back) rewrites the file without crashing.
#include "engine/engine.h"

#include <zo/cntdblib.h>
#include <zo/zoerror.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

struct Fixture {
    std::filesystem::path dir;
    ZoErrorList errors{nullptr, 1};

    Fixture() {
        mdsPerTaskInit();
        ZoErrorKeeper::setErrorList(&errors);
        dir = std::filesystem::temp_directory_path() / ("zotext-fuzz-table-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(dir);
    }
};

const char *const kQueries[] = {
    "SELECT * FROM t",
    "SELECT COUNT(*), MIN(C1), MAX(C2) FROM t",
    "SELECT C1, COUNT(*) FROM t GROUP BY C1",
    "SELECT * FROM t ORDER BY 1 DESC",
    "SELECT DISTINCT C2 FROM t",
    "SELECT a.C1 FROM t a JOIN t b ON a.C1 = b.C2",
    "UPDATE t SET C1 = 'x' WHERE C2 IS NOT NULL",
    "DELETE FROM t WHERE C1 > 'm'",
    "INSERT INTO t (C1) VALUES ('new')",
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Fixture *fixture = new Fixture;
    if (size == 0)
        return 0;
    const char delimiters[] = {',', ';', '|', '\t'};
    zotext::ConnectOptions options;
    options.directory = fixture->dir.string();
    options.delimiter = delimiters[data[0] & 3];
    // Without a header the columns are C1, C2 ...; with one they may be anything, and the
    // queries then mostly fail to find their columns, which is a path worth running too.
    options.header = (data[0] & 4) != 0;
    options.charset = (data[0] & 8) != 0 ? zotext::Charset::Utf8 : zotext::Charset::Ansi;
    options.busyTimeoutMs = 0;
    std::ofstream(fixture->dir / "t.csv", std::ios::binary)
        .write(reinterpret_cast<const char *>(data + 1), static_cast<std::streamsize>(size - 1));
    while (ZoErrorKeeper::getLastError() != nullptr)
        ZoErrorKeeper::clearLastError();
    std::unique_ptr<zotext::Database> db = zotext::Database::open(options);
    zofuzz::check(db != nullptr && db->setAutocommit(false));
    for (const char *sql : kQueries) {
        std::unique_ptr<zotext::Statement> statement = db->prepare(sql);
        if (statement == nullptr || !statement->execute() || !statement->isQuery())
            continue;
        std::vector<zotext::Value> row;
        for (int rows = 0; rows < 10000 && statement->fetch(&row); ++rows)
            zofuzz::check(row.size() == statement->resultColumns().size());
    }
    zofuzz::check(db->endTransaction(false));
    return 0;
}
