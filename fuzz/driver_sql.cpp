// Fuzzes the text driver's engine with arbitrary statements over a small directory of
// tables: every statement is prepared and run (changes inside a transaction that is rolled
// back, so the tables stay as they were) or refused with an error, without crashing.
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
    std::unique_ptr<zotext::Database> db;
    ZoErrorList errors{nullptr, 1};

    Fixture() {
        mdsPerTaskInit();
        ZoErrorKeeper::setErrorList(&errors);
        dir = std::filesystem::temp_directory_path() / ("zotext-fuzz-sql-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "t.csv") << "id:INTEGER,name:VARCHAR(20),price:DOUBLE,day:DATE,note\n"
                                        "1,Ann,1.5,2024-01-31,x\n2,\"B, b\",,2023-12-01,\n3,carl,-2,bad,\"q\"\"\"\n";
        std::ofstream(dir / "u.csv") << "uid:INTEGER,label\n1,one\n3,three\n,none\n";
        zotext::ConnectOptions options;
        options.directory = dir.string();
        options.busyTimeoutMs = 0;
        db = zotext::Database::open(options);
        zofuzz::check(db != nullptr && db->setAutocommit(false));
    }
};

void clearErrors() {
    while (ZoErrorKeeper::getLastError() != nullptr)
        ZoErrorKeeper::clearLastError();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Fixture *fixture = new Fixture;
    std::string sql(reinterpret_cast<const char *>(data), size);
    clearErrors();
    std::unique_ptr<zotext::Statement> statement = fixture->db->prepare(sql);
    if (statement != nullptr) {
        zofuzz::check(statement->parameterCount() == 0 || !statement->execute());
        for (uint16_t p = 1; p <= statement->parameterCount(); ++p) {
            zotext::Value value;
            value.kind = p % 2 ? zotext::Value::Kind::Integer : zotext::Value::Kind::Text;
            value.integer = p;
            value.text = "p";
            zofuzz::check(statement->setParameter(p, value));
        }
        if (statement->execute() && statement->isQuery()) {
            std::vector<zotext::Value> row;
            for (int rows = 0; rows < 1000 && statement->fetch(&row); ++rows)
                zofuzz::check(row.size() == statement->resultColumns().size());
        }
    }
    // Whatever the statement changed goes away with its transaction.
    zofuzz::check(fixture->db->endTransaction(false));
    return 0;
}
