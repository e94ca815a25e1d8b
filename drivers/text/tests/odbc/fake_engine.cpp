// The scripted stand-in for the engine.
#include "fake_engine.h"

#include <zo/zoerror.h>

#include <atomic>
#include <thread>

namespace zotext {
namespace {

void record(EngineError code, const std::string &text) {
    (void)addDatabaseError(static_cast<uint16_t>(code), 0, reinterpret_cast<const unsigned char *>(text.c_str()),
                           code == EngineError::UnknownAttribute ? ErrorTypeWarning : ErrorTypeError);
}

class FakeStatement : public Statement {
public:
    explicit FakeStatement(const fake::Script &script) : script_(script), values_(script.parameters) {}
    uint16_t parameterCount() const override { return script_.parameters; }
    bool setParameter(uint16_t position, const Value &value) override {
        if (position == 0 || position > values_.size()) {
            record(EngineError::ParameterCount, "no such parameter");
            return false;
        }
        values_[position - 1] = value;
        return true;
    }
    bool execute() override {
        if (script_.waitForCancel) {
            while (!cancelled_)
                std::this_thread::yield();
            cancelled_ = false;
            record(EngineError::Cancelled, "cancelled");
            return false;
        }
        fake::world().executedParameters.push_back(values_);
        if (script_.executeError != EngineError{}) {
            record(script_.executeError, "scripted failure");
            return false;
        }
        next_ = 0;
        failed_ = false;
        open_ = script_.query;
        return true;
    }
    bool isQuery() const override { return script_.query; }
    const std::vector<ColumnInfo> &resultColumns() const override { return script_.columns; }
    bool fetch(std::vector<Value> *row) override {
        if (!open_)
            return false;
        if (next_ >= script_.failAfterRows) {
            failed_ = true;
            record(EngineError::BadTableFile, "unterminated quote");
            return false;
        }
        if (next_ >= script_.rows.size())
            return false;
        *row = script_.rows[next_++];
        return true;
    }
    bool failed() const override { return failed_; }
    int64_t rowCount() const override { return script_.rowCount; }
    void closeCursor() override { open_ = false; }
    void cancel() override { cancelled_ = true; }

private:
    fake::Script script_;
    std::vector<Value> values_;
    size_t next_ = 0;
    bool failed_ = false;
    bool open_ = false;
    std::atomic<bool> cancelled_{false};
};

class FakeDatabase : public Database {
public:
    bool setAutocommit(bool on) override {
        if (on && !autocommit_ && fake::world().failEndTransaction) {
            record(EngineError::FileError, "cannot replace the table");
            return false;
        }
        autocommit_ = on;
        fake::world().transactionLog.push_back(on ? "autocommit on" : "autocommit off");
        return true;
    }
    bool autocommit() const override { return autocommit_; }
    bool endTransaction(bool commit) override {
        if (fake::world().failEndTransaction) {
            record(EngineError::FileError, "cannot replace the table");
            return false;
        }
        fake::world().transactionLog.push_back(commit ? "commit" : "rollback");
        return true;
    }
    std::unique_ptr<Statement> prepare(const std::string &sql) override {
        auto it = fake::world().statements.find(sql);
        if (it == fake::world().statements.end()) {
            record(EngineError::Syntax, "syntax error at 1 in " + sql);
            return nullptr;
        }
        return std::make_unique<FakeStatement>(it->second);
    }
    bool listTables(std::vector<std::string> *names) override {
        names->clear();
        for (const auto &[name, columns] : fake::world().tables)
            names->push_back(name);
        return true;
    }
    bool describeTable(const std::string &table, std::vector<ColumnInfo> *columns) override {
        auto it = fake::world().tables.find(table);
        if (it == fake::world().tables.end()) {
            record(EngineError::NoTable, "no table " + table);
            return false;
        }
        *columns = it->second;
        return true;
    }

private:
    bool autocommit_ = true;
};

} // namespace

std::unique_ptr<Database> Database::open(const ConnectOptions &options) {
    fake::world().lastOptions = options;
    if (options.directory == "/missing") {
        record(EngineError::NoDirectory, "The directory /missing does not exist.");
        return nullptr;
    }
    return std::make_unique<FakeDatabase>();
}

namespace fake {

World &world() {
    static World w;
    return w;
}

void reset() { world() = World{}; }

ColumnInfo column(const std::string &name, ColumnType type, uint32_t size) {
    ColumnInfo c;
    c.name = name;
    c.type = type;
    c.size = size;
    c.table = "t";
    return c;
}

Value integer(int64_t v) {
    Value out;
    out.kind = Value::Kind::Integer;
    out.integer = v;
    return out;
}

Value real(double v) {
    Value out;
    out.kind = Value::Kind::Double;
    out.real = v;
    return out;
}

Value text(const std::string &s) { return dated(Value::Kind::Text, s); }

Value dated(Value::Kind kind, const std::string &s) {
    Value out;
    out.kind = kind;
    out.text = s;
    return out;
}

} // namespace fake
} // namespace zotext
