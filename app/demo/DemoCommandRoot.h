#pragma once

#include <string>

// Where the demo's Python commands live: the folder KOVRA_DEMO_COMMAND_ROOT
// names, used as it is, or else a private folder that the demo makes under
// the temporary folder and removes at exit, with fake programs of its own
// that never reach outside it:
//   bin/ln               links usr/bin/python to usr/local/bin/python
//   bin/osascript        runs the privileged link, or plays the installer
//   usr/bin/python, usr/local/bin/python   as KOVRA_DEMO_PYTHON says
// KOVRA_DEMO_PYTHON: "missing" (no Python at all, as at first), "system"
// (Python 2.7.18 in usr/bin, not linked), "system-root" (the same, but only
// the privileged link can link it), "linked" (linked too, so the check
// passes), "python3" (usr/local/bin/python answers Python 3.11.2) or
// "broken" (usr/local/bin/python is there but cannot be run).
// KOVRA_DEMO_INSTALLER: "succeeds" (after 12 s it has put Python 2.7.18 in
// place and says so), "fails" (after 12 s, without "successful"), "hangs"
// (never ends) or "missing" (no osascript: it cannot be started). Its 12 s
// run KOVRA_DEMO_SPEEDUP times faster.
class DemoCommandRoot {
public:
    explicit DemoCommandRoot(unsigned speedup);
    ~DemoCommandRoot();
    DemoCommandRoot(const DemoCommandRoot&) = delete;
    DemoCommandRoot& operator=(const DemoCommandRoot&) = delete;

    // The file the fake installer makes when it starts; empty for a root
    // that the demo did not make.
    std::string installerStartedMark() const;

private:
    void makeFakePrograms(unsigned speedup) const;
    void writeProgram(const std::string& relative, const std::string& body) const;

    std::string root;
    bool own = false;
};
