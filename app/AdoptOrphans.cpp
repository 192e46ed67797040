#include "commands/Descendants.h"

namespace {
// From the program's start, so that what a child program leaves behind
// (setsid) comes back to it, to be ended at its end. The programs only: a
// test that builds the application must not adopt its runner's orphans.
[[maybe_unused]] const bool adopting = Descendants::adopt();
} // namespace
