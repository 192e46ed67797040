#pragma once

#include <string>

namespace zq {

// The program's standard output, one line at a time, from any thread; lines
// keep the order in which they were given. A thread of the printer's own does
// the writing, so a reader that stalls holds up no caller (the thread driving
// a flash among them): lines wait in a bounded queue meanwhile, and those that
// find it full are dropped, as is a line that cannot be written at all (the
// reader went away). At exit the queue is written to its end, waiting for a
// slow reader as a blocking write would; a line printed after that is
// written at once.
class LinePrinter {
public:
    static void print(const std::string& line);
    // Waits until every line given so far is written, or dropped because it
    // cannot be.
    static void flush();
};

} // namespace zq
