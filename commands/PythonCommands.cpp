#include "commands/PythonCommands.h"

#include "commands/ChildCommand.h"
#include "commands/CommandTable.h"
#include "commands/ConsoleOutput.h"

#include <sys/stat.h>

namespace PythonCommands {

namespace {

juce::String utf8(const std::string& text) { return juce::String::fromUTF8(text.c_str()); }

// Paths made only of these characters need no quoting in the shell.
juce::String shellWord(const juce::String& path)
{
    const bool plain =
        path.isNotEmpty() && path.containsOnly("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+");
    return plain ? path : shellQuoted(path);
}

} // namespace

juce::StringArray link()
{
    const CommandTable& t = CommandTable::current();
    return {utf8(t.ln), "-s", utf8(t.systemPython), utf8(t.localPython)};
}

juce::StringArray version() { return {utf8(CommandTable::current().localPython), "--version"}; }

juce::StringArray privilegedLink()
{
    const CommandTable& t = CommandTable::current();
    const juce::String command = "sudo ln -s " + shellWord(utf8(t.systemPython)) + " " + shellWord(utf8(t.localPython));
    return {utf8(t.osascript), "-e", administratorScript(command)};
}

juce::StringArray installer(const juce::String& packagePath)
{
    const juce::String command = "sudo installer -pkg " + shellQuoted(packagePath) + " -target /";
    return {utf8(CommandTable::current().osascript), "-e", administratorScript(command)};
}

bool isExistingFile(const juce::String& path)
{
    struct stat info {};
    return ::stat(path.toRawUTF8(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool localPythonExists() { return isExistingFile(utf8(CommandTable::current().localPython)); }

bool linkLocalPythonIfMissing(std::uint32_t waitMs, const std::function<void()>& started)
{
    if (localPythonExists())
        return true;
    ChildCommand command;
    if (!command.start(link())) {
        console::printLine("Create symbolic link failed!");
        return false;
    }
    if (started)
        started();
    command.waitForEnd(waitMs);
    return true;
}

std::optional<juce::String> askVersion(const std::function<void()>& started)
{
    ChildCommand command;
    if (!command.start(version())) {
        console::printLine("Check python version failed!");
        return std::nullopt;
    }
    if (started)
        started();
    std::optional<juce::String> output = command.readAllOutputWithin(versionAnswerMs);
    if (!output) {
        command.kill();
        console::printLine("Check python version failed!");
    }
    return output;
}

bool isPython27(const juce::String& versionOutput) { return versionOutput.startsWith("Python 2.7"); }

const char* const installerSuccessText = "successful";

juce::String shellQuoted(const juce::String& text) { return "'" + text.replace("'", "'\\''") + "'"; }

juce::String administratorScript(const juce::String& shellCommand)
{
    const juce::String escaped = shellCommand.replace("\\", "\\\\").replace("\"", "\\\"");
    return "do shell script \"" + escaped + "\" with administrator privileges";
}

} // namespace PythonCommands
