#pragma once

// Standard input, output and error as the program needs them, done when the
// program is loaded, before anything else opens a file: a descriptor among
// 0, 1 and 2 that was closed is opened on /dev/null, so that no file or
// socket the program opens later can take its place; SIGPIPE is ignored for
// the whole process, so a reader of standard output that goes away costs
// only the lines it would have read, never the flow under way.
void prepareStandardStreams();
