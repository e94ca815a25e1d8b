// The connection's trace.
#include "odbc/trace.h"

namespace zotext::odbc {

// SEAM(windows): the lines go to the library's ZoTrace (a file trace, flushed per line)
// once it is part of the library. Until then a trace opens but writes nothing.
struct Trace::Sink {
    std::string file;
};

Trace::Trace() = default;
Trace::~Trace() { close(); }

bool Trace::open(const std::string &file) {
    close();
    sink_ = std::make_unique<Trace::Sink>();
    sink_->file = file;
    active_ = true;
    return true;
}

void Trace::close() {
    sink_.reset();
    active_ = false;
}

void Trace::line(const std::string &text) {
    if (!active_)
        return;
    (void)text; // SEAM(windows): written through ZoTrace::writeLine
}

} // namespace zotext::odbc
