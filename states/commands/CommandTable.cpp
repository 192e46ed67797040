#include "CommandTable.h"

CommandTable& CommandTable::current()
{
    static CommandTable table;
    return table;
}
