// Trace output: text collected line by line and sent, a line at a time, to a trace file,
// to a trace window, or to both, with optional time stamps and hexadecimal dumps.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>
#include <zo/zostring.h>
#include <zo/zowindow.h>

class ZoSemaphore;

class ZO_API ZoTrace : public ZoObject {
public:
    // Bits of the flags. The user of the object sets TimeStamps and Hexadecimal; the library
    // never does.
    enum : uint32_t {
        TimeStamps = 0x01, // a time stamp and a blank before each line
        ToWindow = 0x02,   // lines go to the window
        Initialized = 0x04,
        AtLineStart = 0x08,
        FlushEachLine = 0x10, // each line goes out at once; else whole lines are written in blocks
        Hexadecimal = 0x40    // writeString dumps its bytes in hexadecimal
    };

    // No window, no file, an empty line, flags AtLineStart | FlushEachLine.
    ZoTrace();
    // resetTrace, then the line's buffer and the object's lock go.
    ~ZoTrace() override;
    ZoTrace(const ZoTrace &) = delete;
    ZoTrace &operator=(const ZoTrace &) = delete;

    // Keeps the Initialized, AtLineStart and FlushEachLine bits, clears TimeStamps, ToWindow
    // and Hexadecimal, sets AtLineStart | FlushEachLine (and ToWindow when toWindow is
    // nonzero), gives the line room for 1,024 bytes, creates (truncates) the file when a name
    // is given, writing every line at its end, and makes the window when asked. 1 on any
    // failure (what was made stays until resetTrace); else Initialized is set.
    ZoStatus initialize(HINSTANCE instance, unsigned int toWindow, const unsigned char *fileName);
    // Writes out what is pending, closes the file, destroys the window, clears Initialized.
    void resetTrace();

    // Adds text to the current line (a time stamp first at the start of a line when asked;
    // a hexadecimal dump in hexadecimal mode). 1, the line unchanged, when it cannot grow.
    ZoStatus writeString(const unsigned char *text);
    ZoStatus writeString(const unsigned char *bytes, uint32_t n);
    ZoStatus writeString(const ZoSubString &text);
    // Adds a dump of the bytes: every ten bytes start a new line (CR LF), each byte is two
    // upper-case hexadecimal digits and a blank. At most 65,535 bytes (1 beyond).
    ZoStatus writeHexString(const unsigned char *bytes, uint32_t n);
    // Ends the line with CR LF (never dumped) and sends it to the file and the window. 1 when
    // either failed; a line that cannot take its CR LF is kept and nothing is sent.
    ZoStatus writeEol();
    // writeString then writeEol under the object's lock, so threads sharing the object
    // write whole lines.
    ZoStatus writeLine(const unsigned char *text);
    // Makes the window when there is none (1 when it cannot be made), then sends lines to it.
    ZoStatus setTraceToWindow();
    // Keeps the window above all others, or no more.
    void setTopMost();
    void resetTopMost();

    uint32_t flags() const { return flags_; }
    void setFlags(uint32_t flags) { flags_ = flags; }
    HWND window() const { return window_; }
    HWND edit() const { return edit_; }
    int file() const { return file_; }
    const ZoString &line() const { return line_; }

private:
    bool ensureWindow();
    bool makeWindow();
    // Drops what the line got since it held `length` bytes.
    void cutLine(uint32_t length);
    bool sendToFile();
    bool writePending();
    bool appendToWindow();
    void removeOldestLines();

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    HWND edit_ = nullptr;
    ZoString line_;
    uint32_t windowTextLength_ = 0;
    int file_ = 0;
    ZoSemaphore *lock_;
    uint32_t flags_ = AtLineStart | FlushEachLine;
    // Whole lines waiting for one write while FlushEachLine is off.
    unsigned char *pending_ = nullptr;
    uint32_t pendingLength_ = 0;
};
