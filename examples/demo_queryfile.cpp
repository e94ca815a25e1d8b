// The demo's query file and record sort part.
#include <zo/zo.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "demo.h"

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }
std::string text(const ZoSubString &s) { return std::string(reinterpret_cast<const char *>(s.data()), s.length()); }

// Prints the last error of the thread's list, for a step that failed.
void reportFailure(const char *step) {
    ZoError *error = ZoErrorKeeper::getLastError();
    std::printf("%s failed: %s\n", step,
                error != nullptr ? reinterpret_cast<const char *>(error->getErrorText()) : "(no error recorded)");
}

ZofParam *parameter(const char *name, const char *column, const char *type, uint32_t width) {
    auto *p = new ZofParam;
    if (p != nullptr && (p->text1.initialize(name) != ZoSuccess || p->text2.initialize(column) != ZoSuccess ||
                         p->text3.initialize(type) != ZoSuccess || p->text4.initialize("") != ZoSuccess)) {
        delete p;
        return nullptr;
    }
    if (p != nullptr)
        p->value = width;
    return p;
}

// Writes a new query: statement, database, PARAMETERS and a section of the driver's own.
bool writeQuery(const std::string &path) {
    ZoQueryFile query;
    const char *sql = "SELECT region, SUM(amount) FROM orders WHERE year = ? AND region LIKE ? GROUP BY region "
                      "ORDER BY 2 DESC";
    ZoArray params;
    params.setDeleteContents(true);
    ZofParam *year = parameter("Year", "year", "INTEGER", 4);
    ZofParam *region = parameter("Region's name", "region", "CHAR", 20);
    const char notes[] = "Monthly report for the sales team.\r\nRun on the first of the month.\r\n";
    bool ok = year != nullptr && region != nullptr && params.append(year) == ZoSuccess &&
              params.append(region) == ZoSuccess &&
              query.initialize(u("Text"), u(sql), static_cast<uint32_t>(std::strlen(sql))) == ZoSuccess &&
              query.setDbName(u("sales")) == ZoSuccess && query.setParams(&params) == ZoSuccess &&
              query.setHugeSectionChunk(u("Notes"), notes, sizeof notes - 1) == ZoSuccess &&
              query.saveAs(u(path.c_str())) == ZoSuccess;
    if (!ok) {
        if (params.doesExist(year) == 0)
            delete year;
        if (params.doesExist(region) == 0)
            delete region;
        reportFailure("writing the query");
    }
    return ok;
}

void readQuery(const std::string &path) {
    ZoQueryFile query;
    ZoString sql;
    ZoArray names;
    names.setDeleteContents(true);
    ZoArray params;
    params.setDeleteContents(true);
    if (query.openFile(u(path.c_str())) != ZoSuccess || query.getSqlStmt(&sql) != ZoSuccess ||
        query.getSectionNames(&names) != ZoSuccess || query.getParams(&params) != ZoSuccess) {
        reportFailure("reading the query");
        return;
    }
    std::printf("type %s, database %s\nstatement: %s\n", query.getDbType(), query.getDbName(), text(sql).c_str());
    for (uint32_t i = 0; i < names.getCount(); ++i)
        std::printf("section [%s]\n", text(*static_cast<ZoString *>(names.getAt(i))).c_str());
    for (uint32_t i = 0; i < params.getCount(); ++i) {
        auto *p = static_cast<ZofParam *>(params.getAt(i));
        std::printf("parameter %s on %s, %s(%u)\n", text(p->text1).c_str(), text(p->text2).c_str(),
                    text(p->text3).c_str(), p->value);
    }
}

void showQueryFileRoundTrip() {
    std::puts("== query file");
    std::string path = (std::filesystem::temp_directory_path() / "zo-demo-sales.qry").string();
    if (writeQuery(path)) {
        std::printf("written %s, first lines:\n", path.c_str());
        std::FILE *f = std::fopen(path.c_str(), "rb");
        char line[128];
        for (int i = 0; f != nullptr && i < 5 && std::fgets(line, sizeof line, f) != nullptr; ++i)
            std::printf("  | %s", line);
        if (f != nullptr)
            std::fclose(f);
        readQuery(path);
    }
    std::filesystem::remove(path);
}

// 300,000 records of 32 bytes: more than one memory load of 4 MiB, so the sort spills runs
// to its temporary file and merges them while they are read.
void showSpilledSort() {
    std::puts("== record sort (spilled)");
    ZoSort sort(32);
    const uint32_t count = 300000;
    if (sort.addKey(ZoSortBytes, 0, 8) != ZoSuccess || sort.addKey(ZoSortDescending, 8, 4) != ZoSuccess) {
        reportFailure("adding the keys");
        return;
    }
    uint64_t state = 1;
    for (uint32_t i = 0; i < count; ++i) {
        void *slot;
        if (sort.nextSlot(&slot) != ZoSuccess) {
            reportFailure("adding a record");
            return;
        }
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        std::snprintf(static_cast<char *>(slot), 32, "%08u%04u record %8u", static_cast<unsigned>(state >> 40) % 90000,
                      i % 7, i);
    }
    void *record = nullptr;
    uint32_t read = 0;
    for (ZoStatus status = sort.getSorted(&record); record != nullptr; status = sort.getSorted(&record)) {
        if (status != ZoSuccess)
            break;
        if (read < 4 || read + 2 >= count)
            std::printf("  %s\n", static_cast<char *>(record));
        else if (read == 4)
            std::puts("  ...");
        ++read;
    }
    std::printf("%u of %u records read back in order from %u runs, merged through windows of %u records\n", read,
                sort.getRecordCount(), sort.getRunCount(), sort.getMergeWindow());
}

} // namespace

void showQueryFile() {
    mdsPerTaskInit();
    ZoErrorList errors(nullptr, ZoErrorList::KeepAll);
    ZoErrorKeeper::setErrorList(&errors);
    showQueryFileRoundTrip();
    showSpilledSort();
    ZoErrorKeeper::giveUpErrorList();
    mdsPerTaskTerm();
}
