// The connection's trace: one line per call, written through the library's trace object
// to a file (flushed line by line, so a crash loses nothing already traced).
#include "odbc/trace.h"

#if ZOTEXT_HAVE_TRACE
#include <zo/zotrace.h>

namespace zotext::odbc {

struct Trace::Sink {
    ZoTrace trace;
};

bool Trace::open(const std::string &file) {
    close();
    auto sink = std::make_unique<Trace::Sink>();
    if (sink->trace.initialize(nullptr, 0, reinterpret_cast<const unsigned char *>(file.c_str())) != ZoSuccess)
        return false; // the file layer recorded why
    sink_ = std::move(sink);
    active_ = true;
    return true;
}

void Trace::line(const std::string &text) {
    if (active_)
        (void)sink_->trace.writeLine(reinterpret_cast<const unsigned char *>(text.c_str())); // never fails a call
}

} // namespace zotext::odbc
#else
namespace zotext::odbc {

// SEAM(windows): until ZoTrace (<zo/zotrace.h>) is in the library, a trace opens but
// writes nothing.
struct Trace::Sink {};

bool Trace::open(const std::string &file) {
    (void)file;
    close();
    sink_ = std::make_unique<Trace::Sink>();
    active_ = true;
    return true;
}

void Trace::line(const std::string &text) { (void)text; }

} // namespace zotext::odbc
#endif

namespace zotext::odbc {

Trace::Trace() = default;
Trace::~Trace() { close(); }

void Trace::close() {
    sink_.reset();
    active_ = false;
}

} // namespace zotext::odbc
