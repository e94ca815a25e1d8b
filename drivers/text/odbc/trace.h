// The connection's trace: with Trace=1 in the data source (or the connection string), every
// call on the connection and its statements writes one line to the TraceFile.
#pragma once

#include <memory>
#include <string>

namespace zotext::odbc {

class Trace {
public:
    Trace();
    ~Trace();
    Trace(const Trace &) = delete;
    Trace &operator=(const Trace &) = delete;

    // Starts writing to the file (a host path or a Windows-form path); false when it cannot
    // be opened (the reason is recorded).
    bool open(const std::string &file);
    void close();
    bool active() const { return active_; }
    // One line; a failed write stops nothing (tracing must never fail a call).
    void line(const std::string &text);

private:
    struct Sink;
    std::unique_ptr<Sink> sink_;
    bool active_ = false;
};

} // namespace zotext::odbc
