#pragma once

#include "commands/CommandTable.h"

// Lets one test change the command table; the table it found comes back when
// this goes.
class ScopedCommandTable {
public:
    ScopedCommandTable() : previous(CommandTable::current()) {}
    explicit ScopedCommandTable(const CommandTable& replacement) : ScopedCommandTable()
    {
        CommandTable::current() = replacement;
    }
    ~ScopedCommandTable() { CommandTable::current() = previous; }
    ScopedCommandTable(const ScopedCommandTable&) = delete;
    ScopedCommandTable& operator=(const ScopedCommandTable&) = delete;

private:
    CommandTable previous;
};
