// Query files: one saved database query (the kind of database it was written for, the
// database to use, the SQL statement) and named sections of further text, read lazily and
// written back whole in a fixed order, optionally scrambled.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zofileby.h>
#include <zo/zoobject.h>
#include <zo/zosorted.h>
#include <zo/zostring.h>
#include <zo/zotmpfil.h>

class ZoArray;

// The sections the library knows, by their index in the table of names.
enum SectionType : int {
    SECTION_PAGE_LAYOUT = 0,  // "PAGE_LAYOUT"
    SECTION_PARAMETERS = 1,   // "PARAMETERS"
    SECTION_DEFINITION = 2,   // "DEFINITION"
    SECTION_USER_COMMANDS = 3 // "USER COMMANDS"
};

// What a query file knows of one section.
class ZO_API SectionInfo : public ZoObject {
public:
    enum : uint16_t { KindKnown = 1, KindOther = 2, KindSearchKey = 3 };

    SectionInfo() = default;
    ~SectionInfo() override;
    // Known sections first, then the others; within each by offset in the file, a section
    // not found in the file (offset 0) last. A search key (either side) compares the names
    // byte by byte, the shorter first when one begins the other.
    short compare(const ZoObject *other) const override;

    ZoString name;
    uint32_t offset = 0;   // of the first byte after the header line; 0: not in the file
    uint32_t storedAt = 0; // of replacement content in the scratch store; 0: in the file
    uint32_t length = 0;   // of the content, once known
    uint16_t kind = KindOther;
    int removed = 0; // a removed section is not written
    bool lengthKnown = false;
};

// One line of the PARAMETERS section: four texts and a number.
class ZO_API ZofParam : public ZoObject {
public:
    ZofParam() = default;
    ~ZofParam() override;

    ZoString text1;
    ZoString text2;
    ZoString text3;
    ZoString text4;
    uint32_t value = 0;

private:
    friend class ZoQueryFile;
    // Reads `PARAMETER.ITEM ('a', 'b', 'c', 'd', 5)`. Fails (1) when the line is not one.
    ZoStatus initialize(ZoString &line);
    // Appends the line for this parameter, with CR LF; the texts are quoted in the line only.
    ZoStatus getParamLine(ZoString &out) const;
};

// File layout (CR LF line ends, text in the ANSI code page):
//
//   Zo 7.0 for TYPE [(n)]    header, never scrambled; (n): the rest is scrambled in mode n
//   (empty line)
//   [CTZOF ...]              marker, recognised when reading, never written
//   [use NAME;]              the database to use
//   STATEMENT;               folded to lines of at most 79 characters outside quotes; it ends
//   (empty line)             at the first line whose last non-blank character is `;`
//   [NAME]                   sections, each a header line and its content up to the next
//   content...               header; written known sections first, each ending in an empty
//                            line
//
// Saving writes a new file beside the target, syncs it and renames it over the target, so
// the file on disk is always either the old query or the new one.
class ZO_API ZoQueryFile : public ZoObject {
public:
    ZoQueryFile();
    ~ZoQueryFile() override;
    ZoQueryFile(const ZoQueryFile &) = delete;
    ZoQueryFile &operator=(const ZoQueryFile &) = delete;

    // The name of a known section.
    static const unsigned char *sectionName(SectionType section);

    // Opens a query file and reads its first lines (header, marker, database). A header that
    // is not valid records error 2720 with the file's full name. An open file is closed first.
    ZoStatus openFile(const unsigned char *name);
    // Forgets the file and everything set in memory.
    ZoStatus closeFile();

    // A new query: its database type and statement.
    ZoStatus initialize(const unsigned char *dbType, const unsigned char *sql, uint32_t length);
    // Where save writes to (completed to a full upper-case path); null clears it.
    ZoStatus setWriteFileName(const unsigned char *name);
    ZoStatus setDbName(const unsigned char *name);
    ZoStatus setDbType(const unsigned char *type);
    ZoStatus setSqlStmt(const unsigned char *sql, uint32_t length);
    // The statement as one line, without the final `;`.
    ZoStatus getSqlStmt(ZoString *sql);

    // A section's content, ending in two line ends; empty (status 0) when there is none.
    ZoStatus getSectionChunk(const unsigned char *section, ZoString *content);
    ZoStatus getSectionChunk(SectionType section, ZoString *content);
    // The same into a block the caller frees with ramFree; null and 0 when empty.
    ZoStatus getHugeSectionChunk(const unsigned char *section, unsigned char **data, uint32_t *length);
    ZoStatus getHugeSectionChunk(SectionType section, unsigned char **data, uint32_t *length);
    // Replaces (or adds) a section's content; it is kept in the scratch store until saved.
    ZoStatus setHugeSectionChunk(const unsigned char *section, const void *data, uint32_t length);
    ZoStatus setHugeSectionChunk(SectionType section, const void *data, uint32_t length);
    // *exists is 1 when the section is there (also when marked removed).
    ZoStatus doesSectionExist(const unsigned char *section, unsigned int *exists);
    ZoStatus doesSectionExist(SectionType section, unsigned int *exists);
    // Marks the section removed (it is not written); a missing section is no error.
    ZoStatus removeSection(const unsigned char *section);
    ZoStatus removeSection(SectionType section);
    // Appends the section's non-empty lines to lines, each a new ZoString.
    ZoStatus getLines(const unsigned char *section, ZoArray *lines);
    ZoStatus getLines(SectionType section, ZoArray *lines);
    // Appends the names of all sections not removed (the whole file is scanned), each a new
    // ZoString, in the order they were met or added.
    ZoStatus getSectionNames(ZoArray *names);

    // The parameters (ZofParam elements appended to / taken from the array).
    ZoStatus getParams(ZoArray *params);
    ZoStatus setParams(ZoArray *params);
    // The description line of DEFINITION. getDescription fails (1), recording nothing, when
    // there is none. setDescription keeps at most 255 bytes, up to the first line end.
    ZoStatus getDescription(ZoString *text);
    ZoStatus setDescription(ZoString *text);
    // File offset of the first section header; 0 when the file has none.
    ZoStatus getFirstSectionOffset(uint32_t *offset);

    // save: to the write file name if one is set (which is then forgotten; it is set again
    // on failure), else over the open file; the file is open again afterwards. saveAs writes
    // to name and opens it. saveAndClose writes (to the write file name, else over the open
    // file) and closes. A failure leaves the file on disk and this object as they were;
    // error 2721 (file name) when the written file cannot be put in place, error 2711 when
    // scrambling would not read back (the text holds a byte 0xF2 or 0xF5), 2720 when the
    // database type would not read back as the header's.
    ZoStatus save();
    ZoStatus saveAs(const unsigned char *name);
    ZoStatus saveAndClose();

    // State.
    const unsigned char *getFileName() const { return fileName_; }
    const unsigned char *getWriteFileName() const { return writeFileName_; }
    const unsigned char *getDbType() const { return dbType_; }
    const unsigned char *getDbName() const { return dbName_; }
    uint16_t getMajorVersion() const { return majorVersion_; }
    uint16_t getMinorVersion() const { return minorVersion_; }
    uint16_t getPatchVersion() const { return patchVersion_; }
    int isModified() const { return modified_; }
    int getWasScrambled() const { return wasScrambled_; }
    int getHasMarker() const { return hasMarker_; }
    // Scrambling mode of the open file's lines (0 plain).
    uint16_t getScrambleMode() const { return reader_.scrambleMode; }

    // Saving scrambles (mode 2) when set.
    int scrambleOnSave = 0;

private:
    struct Output;
    template <class Sink>
    ZoStatus readLines(uint32_t offset, bool statement, Sink &sink);

    bool isOpen() const { return fileName_ != nullptr; }
    ZoStatus readHeader();
    ZoStatus readLeadingLines();
    ZoStatus nextLineText(ZoString &text, uint32_t *start);
    void giveBack(uint32_t start, uint32_t highWaterBefore);

    SectionInfo *knownSection(const unsigned char *name, uint32_t length) const;
    ZoStatus addSection(const unsigned char *name, uint32_t length, SectionInfo **section);
    ZoStatus scan(const unsigned char *target, bool wantLength, bool toEnd, SectionInfo **found);
    ZoStatus findSection(const unsigned char *name, bool wantLength, SectionInfo **section);
    void closePending(uint32_t end);

    ZoStatus writeTo(const unsigned char *target);
    ZoStatus writeFile(unsigned char *name);
    ZoStatus writeQuery(Output &out);
    ZoStatus writeSection(Output &out, SectionInfo &section);

    ZoFileByLine reader_;
    ZoSubString line_;
    ZoTmpFile store_;
    ZoSortedArray sections_;
    unsigned char *fileName_ = nullptr;
    unsigned char *writeFileName_ = nullptr;
    unsigned char *dbType_ = nullptr;
    unsigned char *dbName_ = nullptr;
    unsigned char *sqlText_ = nullptr;
    uint32_t sqlLength_ = 0;
    uint16_t majorVersion_ = 1;
    uint16_t minorVersion_ = 0;
    uint16_t patchVersion_ = 0;
    uint32_t sqlOffset_ = 0;
    uint32_t firstSectionOffset_ = 0;
    SectionInfo *pendingSection_ = nullptr;
    int modified_ = 0;
    int wasScrambled_ = 0;
    int hasMarker_ = 0;
};
