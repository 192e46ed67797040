#include "commands/CommandTable.h"

CommandTable& CommandTable::current()
{
    static CommandTable table;
    return table;
}
