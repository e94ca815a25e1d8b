// A scripted stand-in for the engine's database, linked into the ODBC layer's tests instead
// of the real one: statements are looked up by their text and do what their script says,
// parameters are logged, and failures are recorded as the engine records them. The
// engine's own error table (sqlStateOf) is linked from the engine library.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace zotext::fake {

struct Script {
    bool query = true;
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;
    uint16_t parameters = 0;
    int64_t rowCount = 0;            // for a change
    EngineError executeError{};      // 0: execute succeeds
    size_t failAfterRows = SIZE_MAX; // fetch fails (FileError) after this many rows
    bool waitForCancel = false;      // execute runs until cancel() is called
};

struct World {
    std::map<std::string, Script> statements; // by SQL text
    std::map<std::string, std::vector<ColumnInfo>> tables;
    std::vector<std::vector<Value>> executedParameters; // one entry per execute
    std::vector<std::string> transactionLog;            // "autocommit on/off", "commit", "rollback"
    bool failEndTransaction = false;
    ConnectOptions lastOptions;
};

// The one world the stand-in reads; tests reset it.
World &world();
void reset();

ColumnInfo column(const std::string &name, ColumnType type, uint32_t size = 255);
Value integer(int64_t v);
Value real(double v);
Value text(const std::string &s);
Value dated(Value::Kind kind, const std::string &s);

} // namespace zotext::fake
