#include "commands/ChildCommand.h"
#include "commands/PythonCommands.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/ScopedCommandTable.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> toStd(const juce::StringArray& a)
{
    std::vector<std::string> out;
    for (const auto& s : a)
        out.push_back(s.toStdString());
    return out;
}

// Undoes the AppleScript string escaping and returns the shell command.
std::string shellCommandOf(const std::string& script)
{
    const std::string head = "do shell script \"";
    const std::string tail = "\" with administrator privileges";
    EXPECT_EQ(script.rfind(head, 0), 0u);
    EXPECT_GE(script.size(), head.size() + tail.size());
    EXPECT_EQ(script.substr(script.size() - tail.size()), tail);
    const std::string inner = script.substr(head.size(), script.size() - head.size() - tail.size());
    std::string out;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '\\' && i + 1 < inner.size()) {
            out += inner[++i];
            continue;
        }
        EXPECT_NE(inner[i], '"') << "unescaped quote ends the AppleScript string early: " << script;
        out += inner[i];
    }
    return out;
}

} // namespace

TEST(PythonCommands, ArgumentVectorsOfTheProduct)
{
    const ScopedCommandTable productTable(CommandTable{});
    using V = std::vector<std::string>;
    EXPECT_EQ(toStd(PythonCommands::link()), (V{"ln", "-s", "/usr/bin/python", "/usr/local/bin/python"}));
    EXPECT_EQ(toStd(PythonCommands::version()), (V{"/usr/local/bin/python", "--version"}));
    EXPECT_EQ(
        toStd(PythonCommands::privilegedLink()),
        (V{"osascript", "-e",
           "do shell script \"sudo ln -s /usr/bin/python /usr/local/bin/python\" with administrator privileges"}));
    EXPECT_EQ(toStd(PythonCommands::installer("/Applications/Kovra.app/Contents/Resources/python-2.7.18.pkg")),
              (V{"osascript", "-e",
                 "do shell script \"sudo installer -pkg '/Applications/Kovra.app/Contents/Resources/python-2.7.18.pkg' "
                 "-target /\" with administrator privileges"}));
}

TEST(PythonCommands, PackagePathCannotBreakOutOfItsQuotes)
{
    TempFolder temp;
    for (const std::string& path :
         {std::string("/tmp/it's here/python.pkg"), std::string("/tmp/a\"b/c.pkg"),
          std::string("/tmp/back\\slash/$(touch x)/`id`.pkg"), std::string("/tmp/'; rm -rf / #\"\\'.pkg")}) {
        const auto args = toStd(PythonCommands::installer(juce::String::fromUTF8(path.c_str())));
        ASSERT_EQ(args.size(), 3u);
        std::string command = shellCommandOf(args[2]);
        const std::string head = "sudo installer -pkg ";
        const std::string tail = " -target /";
        ASSERT_EQ(command.rfind(head, 0), 0u) << command;
        ASSERT_EQ(command.substr(command.size() - tail.size()), tail) << command;
        // Let a real shell parse the quoted word: it must come out as the path, whole.
        const std::string word = command.substr(head.size(), command.size() - head.size() - tail.size());
        const ProcessResult r = runProcess("/bin/sh", {"-c", "printf '%s' " + word});
        EXPECT_EQ(r.out, path);
    }
}

TEST(PythonCommands, Judgements)
{
    EXPECT_TRUE(PythonCommands::isPython27("Python 2.7.18\n"));
    EXPECT_FALSE(PythonCommands::isPython27("Python 2.6.9"));
    EXPECT_FALSE(PythonCommands::isPython27("Python 3.11.2"));
    EXPECT_FALSE(PythonCommands::isPython27("python 2.7"));
    EXPECT_FALSE(PythonCommands::isPython27("Python 2."));

    TempFolder temp;
    const std::string file = temp.writeFile("bin/python", "x");
    EXPECT_TRUE(PythonCommands::isExistingFile(juce::String(file)));
    EXPECT_FALSE(PythonCommands::isExistingFile(juce::String(temp.path() + "/bin")));
    EXPECT_FALSE(PythonCommands::isExistingFile(juce::String(temp.path() + "/missing")));
}

TEST(ChildCommand, StartsOnlyWhatCanRun)
{
    TempFolder temp;
    const std::string script = temp.writeScript("bin/say", "echo out; echo err >&2");
    const std::string plain = temp.writeFile("bin/notexec", "echo no");

    ChildCommand missing;
    EXPECT_FALSE(missing.start({juce::String(temp.path() + "/bin/absent")}));
    EXPECT_FALSE(missing.isRunning());
    EXPECT_TRUE(missing.waitForEnd(10));
    EXPECT_EQ(missing.readAllOutput(), "");

    ChildCommand notExecutable;
    EXPECT_FALSE(notExecutable.start({juce::String(plain)}));
    ChildCommand notOnPath;
    EXPECT_FALSE(notOnPath.start({"kovra-no-such-program-anywhere"}));

    ChildCommand say;
    ASSERT_TRUE(say.start({juce::String(script)}));
    const juce::String output = say.readAllOutput();
    EXPECT_TRUE(output.contains("out"));
    EXPECT_TRUE(output.contains("err"));

    ChildCommand onPath;
    ASSERT_TRUE(onPath.start({"sh", "-c", "echo found"}));
    EXPECT_EQ(onPath.readAllOutput(), "found\n");

    // The exec fails in the child: that is no program that ran and failed.
    const std::string orphan = temp.writeFile("bin/orphan", "#!/kovra/no/such/interpreter\necho never\n");
    fs::permissions(orphan, fs::perms::owner_all);
    ChildCommand orphanScript;
    EXPECT_FALSE(orphanScript.start({juce::String(orphan)}));
    EXPECT_FALSE(orphanScript.isRunning());
    EXPECT_EQ(orphanScript.readAllOutput(), "");
}
