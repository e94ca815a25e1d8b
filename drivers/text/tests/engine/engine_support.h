// Helpers of the engine's tests: a directory of table files, a connection on it, and
// statements run to a list of rows shown as text (NULL as "NULL", reals as SQLite writes
// them, so results compare with SQLite's as strings).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "support/error_capture.h"
#include "support/temp_dir.h"

namespace enginetest {

// Repetitions of long loops: fewer under the sanitizers, which run them many times slower.
#ifdef ZOTEXT_TEST_SANITIZED
constexpr int kScale = 8;
#else
constexpr int kScale = 1;
#endif

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

// A value as text: integers in decimal, reals with up to 15 significant digits and at
// least one decimal (as SQLite prints them), dates and text as they are.
inline std::string show(const zotext::Value &v) {
    switch (v.kind) {
    case zotext::Value::Kind::Null: return "NULL";
    case zotext::Value::Kind::Integer: return std::to_string(v.integer);
    case zotext::Value::Kind::Double: {
        char text[40];
        std::snprintf(text, sizeof text, "%.15g", v.real);
        std::string s = text;
        if (s.find_first_of(".en") == std::string::npos)
            s += ".0";
        return s;
    }
    default: return v.text;
    }
}

// What running a statement gave: its rows, or the error.
struct Outcome {
    bool ok = false;
    Rows rows;
    int64_t rowCount = -1;
    uint16_t error = 0; // the EngineError recorded on failure
    std::string message;
};

class Directory {
public:
    Directory() = default;
    void write(const std::string &file, const std::string &contents) const { dir.write(file, contents); }
    std::string read(const std::string &file) const { return dir.read(file); }
    std::string path() const { return dir.host().string(); }
    zotest::TempDir dir;
};

// A connection with a keep-all error list of its own for the calling thread.
class Session {
public:
    explicit Session(const std::string &directory, char delimiter = ',', bool header = true,
                     zotext::Charset charset = zotext::Charset::Utf8, uint32_t busyTimeoutMs = 2000) {
        zotext::ConnectOptions options;
        options.directory = directory;
        options.delimiter = delimiter;
        options.header = header;
        options.charset = charset;
        options.busyTimeoutMs = busyTimeoutMs;
        db = zotext::Database::open(options);
    }

    Outcome run(const std::string &sql, const std::vector<zotext::Value> &parameters = {}) {
        Outcome out;
        while (ZoErrorKeeper::getLastError() != nullptr)
            ZoErrorKeeper::clearLastError();
        std::unique_ptr<zotext::Statement> statement = db ? db->prepare(sql) : nullptr;
        out.ok = statement != nullptr;
        for (size_t i = 0; out.ok && i < parameters.size(); ++i)
            out.ok = statement->setParameter(static_cast<uint16_t>(i + 1), parameters[i]);
        out.ok = out.ok && statement->execute();
        if (out.ok && statement->isQuery()) {
            std::vector<zotext::Value> values;
            while (statement->fetch(&values)) {
                Row row;
                for (const zotext::Value &v : values)
                    row.push_back(show(v));
                out.rows.push_back(std::move(row));
            }
            out.ok = !statement->failed();
        }
        if (out.ok && statement)
            out.rowCount = statement->rowCount();
        if (!out.ok) {
            ZoError *error = ZoErrorKeeper::getLastError();
            out.error = error != nullptr ? error->getErrorNumber() : 0;
            out.message = error != nullptr ? reinterpret_cast<const char *>(error->getErrorText()) : "";
        }
        return out;
    }

    // The rows of a query that must succeed.
    Rows rows(const std::string &sql, const std::vector<zotext::Value> &parameters = {}) {
        Outcome out = run(sql, parameters);
        EXPECT_TRUE(out.ok) << sql << ": " << out.message;
        return out.rows;
    }
    // Runs a statement that must succeed; its row count.
    int64_t exec(const std::string &sql, const std::vector<zotext::Value> &parameters = {}) {
        Outcome out = run(sql, parameters);
        EXPECT_TRUE(out.ok) << sql << ": " << out.message;
        return out.rowCount;
    }
    // The error a statement must fail with.
    zotext::EngineError error(const std::string &sql) {
        Outcome out = run(sql);
        EXPECT_FALSE(out.ok) << sql;
        return static_cast<zotext::EngineError>(out.error);
    }

    zotest::ErrorCapture capture;
    std::unique_ptr<zotext::Database> db;
};

inline zotext::Value integer(int64_t v) {
    zotext::Value value;
    value.kind = zotext::Value::Kind::Integer;
    value.integer = v;
    return value;
}

inline zotext::Value text(const std::string &s) {
    zotext::Value value;
    value.kind = zotext::Value::Kind::Text;
    value.text = s;
    return value;
}

inline zotext::Value real(double d) {
    zotext::Value value;
    value.kind = zotext::Value::Kind::Double;
    value.real = d;
    return value;
}

inline zotext::Value null() { return zotext::Value(); }

} // namespace enginetest
