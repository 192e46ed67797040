#pragma once

namespace console {

// "--python": makes sure Python 2.7 answers at the local Python path and
// installs it from the application bundle when it does not.
void runPythonFlow();

} // namespace console
