#include "app/demo/DemoCommandRoot.h"

#include "app/demo/DemoSettings.h"
#include "commands/CommandTable.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr double kInstallerSeconds = 12.0;

std::string quoted(const std::string& path) { return "'" + path + "'"; }

} // namespace

DemoCommandRoot::DemoCommandRoot(unsigned speedup)
{
    root = DemoSettings::text("KOVRA_DEMO_COMMAND_ROOT");
    if (root.empty()) {
        std::error_code failed;
        std::string pattern = (fs::temp_directory_path(failed) / "kovra-demo-XXXXXX").string();
        if (failed || mkdtemp(pattern.data()) == nullptr) {
            // Nowhere to put fake programs: point at a folder that cannot
            // exist, so that the commands fail to start rather than run the
            // machine's own.
            root = "/nonexistent/kovra-demo";
        } else {
            root = pattern;
            own = true;
            makeFakePrograms(speedup);
        }
    }
    CommandTable& table = CommandTable::current();
    table.localPython = root + "/usr/local/bin/python";
    table.systemPython = root + "/usr/bin/python";
    table.ln = root + "/bin/ln";
    table.osascript = root + "/bin/osascript";
}

DemoCommandRoot::~DemoCommandRoot()
{
    std::error_code ignored;
    if (own)
        fs::remove_all(root, ignored);
}

std::string DemoCommandRoot::installerStartedMark() const { return own ? root + "/installer-started" : std::string(); }

void DemoCommandRoot::writeProgram(const std::string& relative, const std::string& body) const
{
    const fs::path file = fs::path(root) / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(file, fs::perms::owner_all);
}

void DemoCommandRoot::makeFakePrograms(unsigned speedup) const
{
    const std::string systemPython = root + "/usr/bin/python";
    const std::string localPython = root + "/usr/local/bin/python";
    const std::string python27 = root + "/opt/python-2.7.18/bin/python";
    const std::string python3 = root + "/opt/python-3.11.2/bin/python";
    fs::create_directories(root + "/usr/bin");
    fs::create_directories(root + "/usr/local/bin");
    // Python 2 prints its version on standard error.
    writeProgram("opt/python-2.7.18/bin/python", "echo 'Python 2.7.18' >&2");
    writeProgram("opt/python-3.11.2/bin/python", "echo 'Python 3.11.2'");

    const std::string python = DemoSettings::text("KOVRA_DEMO_PYTHON", "missing");
    if (python == "system" || python == "system-root" || python == "linked")
        fs::create_symlink(python27, systemPython);
    if (python == "linked")
        fs::create_symlink(systemPython, localPython);
    if (python == "python3")
        fs::create_symlink(python3, localPython);
    if (python == "broken")
        std::ofstream(localPython) << "not a program\n";

    // Whatever paths its arguments name, it links only inside this folder;
    // called by osascript it has administrator rights.
    const std::string rightsNeeded = python == "system-root" ? "[ \"$1\" = --privileged ] || exit 1\n" : "";
    writeProgram("bin/ln", rightsNeeded + "[ -e " + quoted(systemPython) + " ] || exit 1\nexec /bin/ln -sfn "
                               + quoted(systemPython) + " " + quoted(localPython));

    const std::string installer = DemoSettings::text("KOVRA_DEMO_INSTALLER", "succeeds");
    if (installer == "missing")
        return;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", kInstallerSeconds / (speedup > 0 ? speedup : 1));
    std::string play = ": > " + quoted(installerStartedMark()) + "\necho 'installer: Package name is Python'\n";
    if (installer == "hangs")
        play += "exec /bin/sleep 1000000";
    else if (installer == "fails")
        play += std::string("/bin/sleep ") + seconds + "\necho 'installer: The install failed.'";
    else
        play += std::string("/bin/sleep ") + seconds + "\n/bin/ln -sfn " + quoted(python27) + " " + quoted(systemPython)
                + "\n/bin/ln -sfn " + quoted(systemPython) + " " + quoted(localPython)
                + "\necho 'installer: The install was successful.'";
    // $2 is the AppleScript line with the shell command to run as root.
    writeProgram("bin/osascript", "case \"$2\" in\n*'sudo ln -s '*) exec " + quoted(root + "/bin/ln")
                                      + " --privileged ;;\n*'sudo installer '*) ;;\n*) exit 1 ;;\nesac\n" + play);
}
