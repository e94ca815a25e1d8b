// zoquery: shows, scrambles, unscrambles, describes and checks query files.
//
//   zoquery show FILE              header, database, statement, description, parameters, sections
//   zoquery scramble FILE          saves FILE scrambled
//   zoquery unscramble FILE        saves FILE plain
//   zoquery describe FILE TEXT     sets the description and saves
//   zoquery check FILE             saves a copy, reads it back and compares everything
//
// Exit status: 0 done (check: the copy reads back identically), 1 check found a
// difference, 2 the file could not be read or written (the library's errors are printed).
#include <zo/zo.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const unsigned char *u(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.c_str()); }
std::string text(const ZoSubString &s) { return std::string(reinterpret_cast<const char *>(s.data()), s.length()); }
std::string text(const unsigned char *s) { return s != nullptr ? reinterpret_cast<const char *>(s) : ""; }

// The thread's error list for the run, with the message texts loaded.
class Errors {
public:
    Errors() {
        mdsPerTaskInit();
        ZoErrorKeeper::setErrorList(&list_);
    }
    ~Errors() {
        ZoErrorKeeper::giveUpErrorList();
        mdsPerTaskTerm();
    }
    // Prints the errors recorded so far and returns the exit status of a failure.
    int report(const char *what) {
        std::fprintf(stderr, "zoquery: %s\n", what);
        for (ZoNode *node = list_.getFirstNode(); node != nullptr; node = list_.getNextNode()) {
            auto *error = static_cast<ZoError *>(node);
            std::fprintf(stderr, "  error %u: %s\n", error->getErrorNumber(),
                         reinterpret_cast<const char *>(error->getErrorText()));
        }
        return 2;
    }

private:
    ZoErrorList list_{nullptr, ZoErrorList::KeepAll};
};

// Everything a query shows, by name, in a stable order.
using Observed = std::map<std::string, std::string>;

bool observe(ZoQueryFile &query, Observed &seen) {
    ZoString value;
    if (query.getSqlStmt(&value) != ZoSuccess)
        return false;
    seen["statement"] = text(value);
    seen["type"] = text(query.getDbType());
    seen["database"] = query.getDbName() != nullptr ? text(query.getDbName()) : "(none)";
    seen["scrambled"] = query.getWasScrambled() != 0 ? "yes" : "no";
    seen["description"] = query.getDescription(&value) == ZoSuccess ? text(value) : "(none)";
    ZoArray names;
    names.setDeleteContents(true);
    if (query.getSectionNames(&names) != ZoSuccess)
        return false;
    for (uint32_t i = 0; i < names.getCount(); ++i) {
        std::string name = text(*static_cast<ZoString *>(names.getAt(i)));
        if (query.getSectionChunk(u(name), &value) != ZoSuccess)
            return false;
        seen["section [" + name + "]"] = text(value);
    }
    ZoArray params;
    params.setDeleteContents(true);
    ZoStatus status = query.getParams(&params);
    for (uint32_t i = 0; i < params.getCount(); ++i) {
        auto *p = static_cast<ZofParam *>(params.getAt(i));
        char number[16];
        std::snprintf(number, sizeof number, "%03u", i + 1);
        seen[std::string("parameter ") + number] = "'" + text(p->text1) + "', '" + text(p->text2) + "', '" +
                                                   text(p->text3) + "', '" + text(p->text4) + "', " +
                                                   std::to_string(p->value);
    }
    if (status != ZoSuccess)
        seen["parameters"] = "(a line does not parse)";
    return true;
}

// One line of a value for the listing: line ends shown as they are.
std::string shown(const std::string &value) {
    std::string out;
    for (char c : value)
        out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return out.size() > 200 ? out.substr(0, 200) + "..." : out;
}

int show(ZoQueryFile &query, const std::string &file, Errors &errors) {
    Observed seen;
    if (!observe(query, seen))
        return errors.report("the query cannot be read");
    std::printf("file:        %s\n", file.c_str());
    std::printf("version:     %u.%u.%u\n", query.getMajorVersion(), query.getMinorVersion(), query.getPatchVersion());
    std::printf("type:        %s\n", seen["type"].c_str());
    std::printf("scrambled:   %s", seen["scrambled"].c_str());
    if (query.getWasScrambled() != 0)
        std::printf(" (mode %u)", query.getScrambleMode());
    std::printf("\ndatabase:    %s\n", seen["database"].c_str());
    std::printf("statement:   %s\n", shown(seen["statement"]).c_str());
    std::printf("description: %s\n", seen["description"].c_str());
    for (const auto &[name, value] : seen)
        if (name.rfind("parameter", 0) == 0)
            std::printf("%s: %s\n", name.c_str(), value.c_str());
    for (const auto &[name, value] : seen)
        if (name.rfind("section", 0) == 0)
            std::printf("%s, %zu bytes: %s\n", name.c_str(), value.size(), shown(value).c_str());
    return 0;
}

int check(ZoQueryFile &query, const std::string &file, Errors &errors) {
    Observed before;
    if (!observe(query, before))
        return errors.report("the query cannot be read");
    fs::path copy = fs::temp_directory_path() / ("zoquery-check-" + std::to_string(std::random_device{}()) + ".qry");
    query.scrambleOnSave = query.getWasScrambled();
    if (query.saveAs(u(copy.string())) != ZoSuccess) {
        fs::remove(copy);
        return errors.report("the copy cannot be written");
    }
    Observed after;
    bool read = observe(query, after);
    (void)query.closeFile(); // the copy is read-only to us now
    fs::remove(copy);
    if (!read)
        return errors.report("the copy cannot be read back");
    int differences = 0;
    for (const auto &[name, value] : before) {
        if (after[name] != value) {
            std::printf("differs: %s\n  was:  %s\n  now:  %s\n", name.c_str(), shown(value).c_str(),
                        shown(after[name]).c_str());
            ++differences;
        }
    }
    for (const auto &[name, value] : after)
        if (before.count(name) == 0) {
            std::printf("differs: %s appeared: %s\n", name.c_str(), shown(value).c_str());
            ++differences;
        }
    if (differences == 0)
        std::printf("%s reads back identically\n", file.c_str());
    return differences == 0 ? 0 : 1;
}

int usage() {
    std::fputs("usage: zoquery show|scramble|unscramble|check FILE\n"
               "       zoquery describe FILE TEXT\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3)
        return usage();
    std::string command = argv[1];
    std::string file = fs::absolute(argv[2]).lexically_normal().string();
    if ((command == "describe") != (argc == 4) || argc > 4)
        return usage();
    Errors errors;
    ZoQueryFile query;
    if (query.openFile(u(file)) != ZoSuccess)
        return errors.report("the file cannot be opened as a query file");
    if (command == "show")
        return show(query, file, errors);
    if (command == "check")
        return check(query, file, errors);
    query.scrambleOnSave = query.getWasScrambled(); // a changed file stays as it was
    if (command == "scramble" || command == "unscramble") {
        query.scrambleOnSave = command == "scramble" ? 1 : 0;
    } else if (command == "describe") {
        ZoString description;
        if (description.initialize(u(argv[3])) != ZoSuccess || query.setDescription(&description) != ZoSuccess)
            return errors.report("the description cannot be set");
    } else {
        return usage();
    }
    if (query.save() != ZoSuccess)
        return errors.report("the file cannot be saved");
    return 0;
}
