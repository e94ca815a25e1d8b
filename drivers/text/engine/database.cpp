// Connections and statements. A connection sees the committed table files of its directory,
// except the tables it changes inside a transaction, which it reads from its own pending
// copies (hidden files `.NAME.csv.<token>.pending` beside the table). Every change writes a
// new file (`.NAME.csv.<token>.tmp`) and renames it: over the table file with autocommit, over
// the pending copy inside a transaction; a commit renames the pending copies over the table
// files, all under the directory's swap lock (locks.h).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <random>

#include <zo/bosfile.h>
#include <zo/zoerror.h>
#include <zo/zovm.h>

#include "errors.h"
#include "locks.h"
#include "modify.h"
#include "query.h"
#include "schema.h"
#include "sql/parser.h"

namespace zotext {

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

const unsigned char *bytes(const std::string &text) { return reinterpret_cast<const unsigned char *>(text.c_str()); }

// A table name names a file of the directory and nothing else.
bool validTableName(const std::string &name) {
    if (name.empty() || name.size() > 200 || name[0] == '.')
        return fail(EngineError::Syntax, "invalid table name '" + name + "'");
    for (char c : name)
        if (c == '/' || c == '\\' || c == ':' || c == '\0' || c == '*' || c == '?')
            return fail(EngineError::Syntax, "invalid table name '" + name + "'");
    return true;
}

// Runs an entry point, turning exhausted memory in the standard containers into the error.
template <class F>
bool guarded(F &&body) {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return failMemory();
    } catch (const std::length_error &) {
        return failMemory();
    }
}

class Connection;

class StatementImpl : public Statement {
public:
    StatementImpl(Connection &db, std::unique_ptr<sql::Statement> ast) : db_(db), ast_(std::move(ast)) {
        parameters_.resize(ast_->parameterCount);
        set_.assign(ast_->parameterCount, false);
    }
    bool prepare();

    uint16_t parameterCount() const override { return ast_->parameterCount; }
    bool setParameter(uint16_t position, const Value &value) override;
    bool execute() override;
    bool isQuery() const override { return ast_->kind == sql::Statement::Kind::Select; }
    const std::vector<ColumnInfo> &resultColumns() const override { return columns_; }
    bool fetch(std::vector<Value> *row) override;
    bool failed() const override { return failed_; }
    int64_t rowCount() const override { return rowCount_; }
    void closeCursor() override { run_.reset(); }
    void cancel() override { cancel_.store(true); }

private:
    bool executeChange();

    Connection &db_;
    std::unique_ptr<sql::Statement> ast_;
    QueryPlanPtr plan_;
    std::unique_ptr<QueryRun> run_;
    std::vector<ColumnInfo> columns_;
    std::vector<Value> parameters_;
    std::vector<bool> set_;
    std::vector<Val> values_;
    int64_t rowCount_ = -1;
    bool failed_ = false;
    std::atomic<bool> cancel_{false};
};

class Connection : public Database, public TableCatalog {
public:
    bool connect(const ConnectOptions &options);

    bool setAutocommit(bool on) override;
    bool autocommit() const override { return autocommit_; }
    bool endTransaction(bool commit) override;
    std::unique_ptr<Statement> prepare(const std::string &sql) override;
    bool listTables(std::vector<std::string> *names) override;
    bool describeTable(const std::string &table, std::vector<ColumnInfo> *columns) override;

    bool bindTable(const std::string &name, TableBinding *table) override;
    void beginOpen() override { locks_.beginRead(); }
    void endOpen() override { locks_.endRead(); }

    ~Connection() override {
        (void)rollback();
        if (format_.blockCache != nullptr)
            bvmTerm(format_.blockCache);
    }

    // Changes (statement.cpp's executeChange calls these).
    bool insert(const sql::Statement &s, const std::vector<Val> &parameters, const std::atomic<bool> &cancel,
                int64_t *count);
    bool updateOrDelete(const sql::Statement &s, const std::vector<Val> &parameters, const std::atomic<bool> &cancel,
                        int64_t *count);
    bool createTable(const sql::Statement &s);
    bool dropTable(const sql::Statement &s);

private:
    struct Pending {
        std::string name; // as the table is named in the directory
        std::string path; // the pending copy; empty when the transaction drops the table
    };

    std::string committedPath(const std::string &name) const { return directory_ + separator_ + name + ".csv"; }
    std::string hiddenPath(const std::string &name, const char *suffix);
    // The file the connection sees for the table, or false (nothing recorded).
    bool visiblePath(const std::string &name, std::string *path) const;
    // Takes the table's lock for a change and gives the file it reads (empty when the
    // table does not exist for this connection).
    bool beginChange(const std::string &name, std::string *source);
    // Puts a finished new file in place for the table (path empty: the table is dropped).
    bool putInPlace(const std::string &name, const std::string &written);
    // putInPlace, deleting the written file when it could not be put in place.
    bool install(const std::string &name, const std::string &written);
    void endChange(const std::string &name);
    // Runs a change of the table between beginChange and endChange; body(source) gets the
    // file the connection sees for it (empty when none).
    template <class Body>
    bool change(const std::string &name, Body &&body) {
        std::string source;
        if (!beginChange(name, &source))
            return false;
        bool ok = body(source);
        endChange(name);
        return ok;
    }
    bool commit();
    bool rollback();
    bool readLayoutOf(const std::string &name, const std::string &path, TableBinding *table);

    ConnectOptions options_;
    TableFormat format_;
    std::string directory_;
    char separator_ = '/';
    bool autocommit_ = true;
    LockFile locks_;
    std::map<std::string, Pending> pending_; // by lower-cased name
    std::mt19937_64 tokens_;
};

bool Connection::connect(const ConnectOptions &options) {
    options_ = options;
    format_.delimiter = options.delimiter;
    format_.header = options.header;
    format_.charset = options.charset;
    directory_ = options.directory;
    while (directory_.size() > 1 && (directory_.back() == '/' || directory_.back() == '\\') &&
           !(directory_.size() == 3 && directory_[1] == ':'))
        directory_.pop_back();
    separator_ = !directory_.empty() && directory_[0] == '/' ? '/' : '\\';
    if (directory_.empty() || directory_.size() > 200 || bosfattr(bytes(directory_)) != BOS_ATTR_DIRECTORY)
        return fail(EngineError::NoDirectory, "the directory '" + options.directory + "' does not exist");
    // A readable directory lists at least its own entry.
    unsigned char pattern[256];
    std::string all = directory_ + "\\*";
    std::memcpy(pattern, all.c_str(), all.size() + 1);
    unsigned char *cursor = nullptr;
    if (bosFindFiles(&cursor, pattern) != ZoSuccess)
        return failMemory();
    bool readable = cursor != nullptr;
    while (cursor != nullptr && bosFindFiles(&cursor, pattern) == ZoSuccess) {
    }
    if (!readable)
        return fail(EngineError::NoDirectory, "the directory '" + options.directory + "' cannot be read");
    locks_.attach(directory_ + separator_ + ".zotext.lock", options.busyTimeoutMs);
    // Joins read records of their second table again by offset: through the process's
    // block cache (up to 32 MiB, shared by every connection). Without one they read the file.
    format_.blockCache = bvmInit(512);
    std::random_device seed;
    tokens_.seed((static_cast<uint64_t>(seed()) << 32) ^ seed() ^ reinterpret_cast<uintptr_t>(this));
    return true;
}

std::string Connection::hiddenPath(const std::string &name, const char *suffix) {
    char token[24];
    std::snprintf(token, sizeof token, "%016llx", static_cast<unsigned long long>(tokens_()));
    return directory_ + separator_ + "." + name + ".csv." + token + suffix;
}

bool Connection::visiblePath(const std::string &name, std::string *path) const {
    auto found = pending_.find(lowered(name));
    if (found != pending_.end()) {
        *path = found->second.path;
        return !path->empty();
    }
    *path = committedPath(name);
    return bosexist(bytes(*path)) != 0;
}

bool Connection::readLayoutOf(const std::string &name, const std::string &path, TableBinding *table) {
    table->name = name;
    table->path = path;
    table->format = format_;
    return readLayout(path, name, format_, &table->layout);
}

bool Connection::bindTable(const std::string &name, TableBinding *table) {
    std::string path;
    if (!validTableName(name))
        return false;
    if (!visiblePath(name, &path))
        return fail(EngineError::NoTable, "no such table: " + name);
    return readLayoutOf(name, path, table);
}

bool Connection::beginChange(const std::string &name, std::string *source) {
    if (!validTableName(name) || !locks_.lockTable(lowered(name)))
        return false;
    if (!visiblePath(name, source))
        source->clear();
    return true;
}

void Connection::endChange(const std::string &name) {
    // Inside a transaction the table stays locked until it ends.
    if (autocommit_)
        locks_.unlockTable(lowered(name));
}

bool Connection::putInPlace(const std::string &name, const std::string &written) {
    std::string key = lowered(name);
    if (!autocommit_) {
        // The change becomes (or replaces) this connection's pending copy; only this
        // connection reads it, so no swap lock is needed.
        auto found = pending_.find(key);
        std::string target =
            found != pending_.end() && !found->second.path.empty() ? found->second.path : hiddenPath(name, ".pending");
        if (!written.empty() && !replaceFile(written, target))
            return fail(EngineError::FileError, "cannot keep the change of table " + name);
        std::string tableName = found != pending_.end() ? found->second.name : name;
        pending_[key] = Pending{tableName, written.empty() ? std::string() : target};
        return true;
    }
    if (!locks_.beginSwap())
        return false;
    bool ok = written.empty() ? bosFileDelete(bytes(committedPath(name))) == ZoSuccess
                              : replaceFile(written, committedPath(name));
    locks_.endSwap();
    return ok || fail(EngineError::FileError, "cannot put the new contents of table " + name + " in place");
}

bool Connection::install(const std::string &name, const std::string &written) {
    if (putInPlace(name, written))
        return true;
    (void)bosFileDelete(bytes(written)); // the change did not happen: its file goes
    return false;
}

bool Connection::commit() {
    if (pending_.empty())
        return true;
    // Pending copies are written without syncing them: they become durable here, before any
    // of them is put in place.
    for (const auto &entry : pending_)
        if (!entry.second.path.empty() && !syncFile(entry.second.path))
            return false;
    if (!locks_.beginSwap())
        return false;
    // Each table file steps aside, then its pending copy takes its place. When any step
    // fails, the steps done are undone in reverse, so the commit happens whole or not at
    // all (readers see neither half: they open files under the swap lock).
    struct Step {
        const Pending *pending;
        std::string target, aside;
        bool movedAside = false, placed = false;
    };
    std::vector<Step> steps;
    bool ok = true;
    for (const auto &entry : pending_) {
        Step step{&entry.second, committedPath(entry.second.name), hiddenPath(entry.second.name, ".old")};
        if (bosexist(bytes(step.target)) != 0) {
            step.movedAside = bosrname(bytes(step.target), bytes(step.aside)) == ZoSuccess;
            ok = step.movedAside;
        }
        if (ok && !entry.second.path.empty()) {
            // A replace (the target stands aside now) also syncs the directory.
            step.placed = replaceFile(entry.second.path, step.target);
            ok = step.placed;
        }
        steps.push_back(std::move(step));
        if (!ok)
            break;
    }
    for (auto it = steps.rbegin(); !ok && it != steps.rend(); ++it) {
        // Undoing a rename just done; should that fail too, the error already reported
        // says the commit failed, and the files keep their hidden names.
        if (it->placed)
            (void)bosrname(bytes(it->target), bytes(it->pending->path));
        if (it->movedAside)
            (void)bosrname(bytes(it->aside), bytes(it->target));
    }
    locks_.endSwap();
    if (!ok)
        return fail(EngineError::FileError, "the commit could not put table " + steps.back().pending->name +
                                                " in place; nothing was committed");
    for (const Step &step : steps)
        if (step.movedAside)
            (void)bosFileDelete(bytes(step.aside)); // a leftover hidden file is all this can leave
    pending_.clear();
    locks_.unlockAllTables();
    return true;
}

bool Connection::rollback() {
    for (auto &entry : pending_)
        if (!entry.second.path.empty())
            (void)bosFileDelete(bytes(entry.second.path)); // a copy nobody reads any more
    pending_.clear();
    locks_.unlockAllTables();
    return true;
}

bool Connection::setAutocommit(bool on) {
    return guarded([&] {
        if (on && !autocommit_ && !commit())
            return false;
        autocommit_ = on;
        return true;
    });
}

bool Connection::endTransaction(bool doCommit) {
    return guarded([&] { return doCommit ? commit() : rollback(); });
}

std::unique_ptr<Statement> Connection::prepare(const std::string &text) {
    std::unique_ptr<Statement> result;
    (void)guarded([&] {
        std::unique_ptr<sql::Statement> ast = sql::parseStatement(text);
        if (!ast)
            return false;
        auto statement = std::make_unique<StatementImpl>(*this, std::move(ast));
        if (!statement->prepare())
            return false;
        result = std::move(statement);
        return true;
    });
    return result;
}

bool Connection::listTables(std::vector<std::string> *names) {
    return guarded([&] {
        names->clear();
        std::string pattern = directory_ + "\\*.csv";
        unsigned char name[256];
        std::memcpy(name, pattern.c_str(), pattern.size() + 1);
        unsigned char *cursor = nullptr;
        do {
            if (bosFindFiles(&cursor, name) != ZoSuccess)
                return failMemory();
            std::string file = reinterpret_cast<const char *>(name);
            if (cursor != nullptr && file.size() > 4 && file[0] != '.' &&
                sameName(file.substr(file.size() - 4), ".csv")) {
                std::string table = file.substr(0, file.size() - 4);
                if (pending_.count(lowered(table)) == 0)
                    names->push_back(table);
            }
        } while (cursor != nullptr);
        for (const auto &entry : pending_)
            if (!entry.second.path.empty())
                names->push_back(entry.second.name);
        std::sort(names->begin(), names->end(),
                  [](const std::string &a, const std::string &b) { return lowered(a) < lowered(b); });
        return true;
    });
}

bool Connection::describeTable(const std::string &table, std::vector<ColumnInfo> *columns) {
    return guarded([&] {
        TableBinding binding;
        beginOpen();
        bool ok = bindTable(table, &binding);
        endOpen();
        if (ok)
            *columns = binding.layout.columns;
        return ok;
    });
}

// ---- Changes -----------------------------------------------------------------------------

// The columns an INSERT fills, in the order of its values.
bool insertColumns(const sql::Statement &s, const TableLayout &layout, size_t valueCount, std::vector<size_t> *order) {
    order->clear();
    if (s.columns.empty()) {
        for (size_t c = 0; c < layout.columns.size(); ++c)
            order->push_back(c);
    }
    for (const std::string &name : s.columns) {
        size_t c = 0;
        while (c < layout.columns.size() && !sameName(layout.columns[c].name, name))
            ++c;
        if (c == layout.columns.size())
            return fail(EngineError::NoColumn, "no such column: " + name);
        if (std::find(order->begin(), order->end(), c) != order->end())
            return fail(EngineError::Syntax, "column " + name + " is named twice");
        order->push_back(c);
    }
    if (order->size() != valueCount)
        return fail(EngineError::WrongValueCount,
                    std::to_string(valueCount) + " values for " + std::to_string(order->size()) + " columns");
    return true;
}

bool Connection::insert(const sql::Statement &s, const std::vector<Val> &parameters, const std::atomic<bool> &cancel,
                        int64_t *count) {
    const std::string &name = s.table.name;
    return change(name, [&](const std::string &source) {
        if (source.empty())
            return fail(EngineError::NoTable, "no such table: " + name);
        TableBinding table;
        if (!readLayoutOf(name, source, &table))
            return false;
        // A headerless table that is still empty takes its width from its first row.
        if (!format_.header && table.layout.emptyFile && s.columns.empty())
            numberedColumns(s.values.size(), name, &table.layout.columns);
        // The new records, made before anything is written.
        std::string records;
        std::vector<Val> row(table.layout.columns.size());
        std::vector<size_t> order;
        RowFrame frame;
        frame.parameters = &parameters;
        auto addRow = [&](const Val *values) {
            std::fill(row.begin(), row.end(), Val::null());
            for (size_t i = 0; i < order.size(); ++i)
                row[order[i]] = values[i];
            ++*count;
            return appendRecord(row.data(), row.size(), format_, table.layout.crlf, &records);
        };
        std::vector<TableBinding *> none;
        Compiler compiler(none, s.parameterCount);
        if (s.query) {
            QueryPlanPtr plan = planQuery(*s.query, *this, s.parameterCount);
            if (!plan || !insertColumns(s, table.layout, resultColumnsOf(*plan).size(), &order))
                return false;
            QueryRun run(*plan, *this, &parameters, &cancel);
            if (!run.start())
                return false;
            const Val *values = nullptr;
            while (run.next(&values))
                if (!addRow(values))
                    return false;
            if (run.failed())
                return false;
        } else {
            if (!insertColumns(s, table.layout, s.values.size(), &order))
                return false;
            std::vector<NodePtr> nodes;
            std::vector<Val> values(s.values.size());
            for (size_t i = 0; i < s.values.size(); ++i) {
                nodes.push_back(compiler.compileRow(*s.values[i], "VALUES"));
                if (!nodes.back() || !nodes.back()->eval(frame, &values[i]))
                    return false;
            }
            if (!addRow(values.data()))
                return false;
        }
        FileWriter writer;
        auto found = pending_.find(lowered(name));
        if (!autocommit_ && found != pending_.end() && !found->second.path.empty()) {
            // The pending copy is this connection's alone: the rows are added to its end,
            // and cut off again when that fails.
            uint64_t size = 0;
            if (!writer.openForAppend(found->second.path, &size))
                return false;
            if (!writer.append(records) || !writer.finish(false)) {
                writer.truncateTo(size);
                return false;
            }
            return true;
        }
        std::string temporary = hiddenPath(name, ".tmp");
        char last = '\n';
        if (!writer.create(temporary) || !copyFileRange(source, 0, UINT64_MAX, writer, &last))
            return false;
        if (last != '\n' && !writer.append(table.layout.crlf ? "\r\n" : "\n"))
            return false;
        if (!writer.append(records) || !writer.finish(autocommit_))
            return false;
        return install(name, temporary);
    });
}

bool Connection::updateOrDelete(const sql::Statement &s, const std::vector<Val> &parameters,
                                const std::atomic<bool> &cancel, int64_t *count) {
    const std::string &name = s.table.name;
    return change(name, [&](const std::string &source) {
        if (source.empty())
            return fail(EngineError::NoTable, "no such table: " + name);
        TableBinding table;
        if (!readLayoutOf(name, source, &table))
            return false;
        std::vector<TableBinding *> sources{&table};
        Compiler compiler(sources, s.parameterCount);
        NodePtr where;
        if (s.where && !(where = compiler.compileRow(*s.where, "WHERE")))
            return false;
        std::vector<NodePtr> assigned(table.layout.columns.size());
        for (const auto &assignment : s.assignments) {
            int source_ = 0, column = 0;
            if (!compiler.resolveColumn("", assignment.first, &source_, &column))
                return false;
            assigned[static_cast<size_t>(column)] = compiler.compileRow(*assignment.second, "SET");
            if (!assigned[static_cast<size_t>(column)])
                return false;
        }
        bool isDelete = s.kind == sql::Statement::Kind::Delete;
        std::string temporary = hiddenPath(name, ".tmp");
        FileWriter writer;
        char last = '\n';
        if (!writer.create(temporary) || !copyFileRange(source, 0, table.layout.dataOffset, writer, &last))
            return false;
        if (table.layout.dataOffset > 0 && last != '\n' && !writer.append(table.layout.crlf ? "\r\n" : "\n"))
            return false;
        RecordReader reader;
        if (!reader.open(source, format_, table.layout.dataOffset))
            return false;
        RowFrame frame;
        frame.parameters = &parameters;
        frame.records[0] = &reader;
        std::string record;
        std::vector<Val> values(table.layout.columns.size());
        uint64_t visited = 0;
        while (reader.next()) {
            if ((++visited & 0xFFF) == 0 && cancel.load(std::memory_order_relaxed))
                return fail(EngineError::Cancelled, "the statement was cancelled");
            bool blank = reader.content().empty() && table.layout.columns.size() > 1;
            Val v;
            if (!blank && where && !where->eval(frame, &v))
                return false;
            bool selected = !blank && (!where || isTrue(v));
            std::string_view content = reader.content();
            std::string_view lineEnd = reader.crlf() ? "\r\n" : "\n";
            if (!selected) {
                record.assign(content);
                record += lineEnd;
                if (!writer.append(record))
                    return false;
                continue;
            }
            ++*count;
            if (isDelete)
                continue;
            // Every new value is computed from the record as it was.
            for (size_t c = 0; c < values.size(); ++c)
                if (assigned[c] && !assigned[c]->eval(frame, &values[c]))
                    return false;
            record.clear();
            const std::vector<FieldSpan> &fields = reader.fields();
            size_t width = std::max(values.size(), fields.size());
            std::string text;
            for (size_t c = 0; c < width; ++c) {
                if (c > 0)
                    record += format_.delimiter;
                if (c < values.size() && assigned[c]) {
                    std::string one;
                    if (!appendRecord(&values[c], 1, format_, false, &one))
                        return false;
                    one.pop_back(); // the line end appendRecord adds
                    record += one;
                } else if (c < fields.size()) {
                    record.append(content.substr(fields[c].start, fields[c].end - fields[c].start));
                }
            }
            record += lineEnd;
            if (!writer.append(record))
                return false;
        }
        if (reader.failed() || !writer.finish(autocommit_))
            return false;
        reader.close();
        return install(name, temporary);
    });
}

bool Connection::createTable(const sql::Statement &s) {
    const std::string &name = s.table.name;
    return change(name, [&](const std::string &source) {
        if (!source.empty())
            return fail(EngineError::TableExists, "table " + name + " already exists");
        if (s.columnDefs.empty())
            return fail(EngineError::Syntax, "a table needs at least one column");
        std::string header;
        for (size_t i = 0; i < s.columnDefs.size(); ++i) {
            const sql::ColumnDef &def = s.columnDefs[i];
            for (size_t j = 0; j < i; ++j)
                if (sameName(s.columnDefs[j].name, def.name))
                    return fail(EngineError::Syntax, "duplicate column name: " + def.name);
            ColumnInfo column;
            column.name = def.name;
            column.type = def.type;
            column.size = columnSizeOf(def.type, def.size);
            std::string field = headerFieldOf(column, true), converted;
            if (!textForFile(field, format_.charset, &converted))
                return fail(EngineError::NotInCodePage, "the column name " + def.name +
                                                            " cannot be written in the "
                                                            "table's code page");
            if (i > 0)
                header += format_.delimiter;
            appendField(converted, format_.delimiter, &header);
        }
        header += '\n';
        std::string temporary = hiddenPath(name, ".tmp");
        FileWriter writer;
        // Without a header line the file starts empty: its columns are the fields of its
        // first record.
        if (!writer.create(temporary) || (format_.header && !writer.append(header)) || !writer.finish(autocommit_))
            return false;
        return install(name, temporary);
    });
}

bool Connection::dropTable(const sql::Statement &s) {
    const std::string &name = s.table.name;
    return change(name, [&](const std::string &source) {
        if (source.empty())
            return fail(EngineError::NoTable, "no such table: " + name);
        auto found = pending_.find(lowered(name));
        if (found != pending_.end() && !found->second.path.empty())
            (void)bosFileDelete(bytes(found->second.path)); // the pending copy is dropped with it
        return putInPlace(name, std::string());
    });
}

// ---- Statements ----------------------------------------------------------------------------

bool StatementImpl::prepare() {
    if (ast_->kind != sql::Statement::Kind::Select)
        return true;
    db_.beginOpen();
    plan_ = planQuery(*ast_->query, db_, ast_->parameterCount);
    db_.endOpen();
    if (!plan_)
        return false;
    columns_ = resultColumnsOf(*plan_);
    return true;
}

bool StatementImpl::setParameter(uint16_t position, const Value &value) {
    if (position < 1 || position > parameters_.size())
        return fail(EngineError::ParameterCount, "no parameter " + std::to_string(position));
    return guarded([&] {
        parameters_[position - 1] = value;
        set_[position - 1] = true;
        return true;
    });
}

bool StatementImpl::execute() {
    failed_ = false;
    rowCount_ = -1;
    run_.reset();
    cancel_.store(false);
    for (size_t i = 0; i < set_.size(); ++i)
        if (!set_[i])
            return failed_ = true,
                   fail(EngineError::ParameterCount, "parameter " + std::to_string(i + 1) + " has no value");
    bool ok = guarded([&] {
        values_.clear();
        for (const Value &value : parameters_)
            values_.push_back(fromPublic(value));
        if (ast_->kind != sql::Statement::Kind::Select)
            return executeChange();
        // Planned again: the tables may have changed since the statement was prepared.
        db_.beginOpen();
        QueryPlanPtr plan = planQuery(*ast_->query, db_, ast_->parameterCount);
        db_.endOpen();
        if (!plan)
            return false;
        plan_ = std::move(plan);
        columns_ = resultColumnsOf(*plan_);
        run_ = std::make_unique<QueryRun>(*plan_, db_, &values_, &cancel_);
        if (!run_->start()) {
            run_.reset();
            return false;
        }
        return true;
    });
    failed_ = !ok;
    return ok;
}

bool StatementImpl::executeChange() {
    rowCount_ = 0;
    switch (ast_->kind) {
    case sql::Statement::Kind::Insert: return db_.insert(*ast_, values_, cancel_, &rowCount_);
    case sql::Statement::Kind::Update:
    case sql::Statement::Kind::Delete: return db_.updateOrDelete(*ast_, values_, cancel_, &rowCount_);
    case sql::Statement::Kind::Create: return db_.createTable(*ast_);
    case sql::Statement::Kind::Drop: return db_.dropTable(*ast_);
    case sql::Statement::Kind::Select: break;
    }
    return true;
}

bool StatementImpl::fetch(std::vector<Value> *row) {
    if (!run_)
        return false;
    bool end = false;
    bool ok = guarded([&] {
        const Val *values = nullptr;
        if (!run_->next(&values)) {
            end = !run_->failed();
            return false;
        }
        row->resize(columns_.size());
        for (size_t c = 0; c < columns_.size(); ++c)
            toPublic(values[c], &(*row)[c]);
        return true;
    });
    // Running out of memory while converting is a failure too, not the end of the rows.
    failed_ = !ok && !end;
    return ok;
}

} // namespace

std::unique_ptr<Database> Database::open(const ConnectOptions &options) {
    std::unique_ptr<Connection> connection;
    bool ok = guarded([&] {
        connection = std::make_unique<Connection>();
        return connection->connect(options);
    });
    if (!ok)
        return nullptr;
    return connection;
}

} // namespace zotext
