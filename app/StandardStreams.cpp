#include "app/StandardStreams.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

void prepareStandardStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1)
            continue;
        // It is the lowest free descriptor, since those below it are open.
        (void)open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

namespace {
// Before every static initialiser of the program.
__attribute__((constructor(101))) void prepareAtLoad() { prepareStandardStreams(); }
} // namespace
