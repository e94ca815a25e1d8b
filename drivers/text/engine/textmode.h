// The engine's text is UTF-8: library calls that step through characters (the parser's
// lexer, pattern matching) run with the calling thread's character mode set to UTF-8, and
// the mode the thread had is restored afterwards.
#pragma once

namespace zotext {

class Utf8Scope {
public:
    Utf8Scope();
    ~Utf8Scope();
    Utf8Scope(const Utf8Scope &) = delete;
    Utf8Scope &operator=(const Utf8Scope &) = delete;

private:
    void *saved_;
};

} // namespace zotext
