#include "tests/ble/BleFixture.h"

#include "device/ble/ApplicationBundle.h"
#include "device/ble/ZQBLE.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

namespace {

const char* const kKnobs[] = {
    "KOVRA_STANDIN_CALL_LOG",        "KOVRA_STANDIN_REFUSE_FILE",   "KOVRA_STANDIN_NO_MODULE",
    "KOVRA_STANDIN_DOWNLOAD_RESULT", "KOVRA_STANDIN_COMPLETE_CODE", "KOVRA_STANDIN_NO_COMPLETE",
    "KOVRA_STANDIN_NEVER_ENDS",      "KOVRA_STANDIN_PROGRESS",      "KOVRA_STANDIN_DOWNLOAD_MS",
};

} // namespace

void BleFixture::SetUp()
{
    temp = std::make_unique<TempFolder>();
    ASSERT_FALSE(temp->path().empty());
    root = juce::File(temp->path());
    home = root.getChildFile("home");
    cacheRoot = root.getChildFile("cache");
    bundle = root.getChildFile("bundle");
    ASSERT_TRUE(home.createDirectory());
    ASSERT_TRUE(bundle.getChildFile("Contents/Helpers").createDirectory());
    ASSERT_TRUE(bundle.getChildFile("Contents/Resources").createDirectory());
    ASSERT_TRUE(juce::File(KOVRA_BUNDLE_CONTENTS "/Resources/ble_firmware.fw")
                    .copyFileTo(bundle.getChildFile("Contents/Resources/ble_firmware.fw")));

    environment.set("HOME", home.getFullPathName().toStdString());
    environment.set("XDG_CACHE_HOME", cacheRoot.getFullPathName().toStdString());
    for (const char* knob : kKnobs)
        environment.unset(knob);
    setKnob("KOVRA_STANDIN_CALL_LOG", root.getChildFile("calls.log").getFullPathName().toStdString());
    setKnob("KOVRA_STANDIN_DOWNLOAD_MS", "40");

    nameExecutable("KovraTikoFirmwareUpdater");
    useLibrary(KOVRA_STANDIN_FULL);
}

void BleFixture::TearDown()
{
    ZQBLE::clearListener(&listener);
    temp.reset();
}

void BleFixture::useLibrary(const char* library)
{
    const juce::File target = bundle.getChildFile("Contents/Helpers").getChildFile(ZQBLE::libraryFileName);
    ASSERT_TRUE(juce::File(library).copyFileTo(target)) << library;
}

void BleFixture::nameExecutable(const juce::String& name) { executable.use(bundle.getChildFile(name)); }

void BleFixture::setKnob(const char* name, const std::string& value) { environment.set(name, value); }

std::vector<std::string> BleFixture::calls() const
{
    juce::StringArray lines;
    root.getChildFile("calls.log").readLines(lines);
    std::vector<std::string> result;
    for (const juce::String& line : lines)
        if (line.isNotEmpty())
            result.push_back(line.toStdString());
    return result;
}

void BleFixture::age(const juce::File& folder, int seconds) { setModified(folder, std::time(nullptr) - seconds); }

void BleFixture::setModified(const juce::File& folder, std::time_t secondsSince1970)
{
    const struct timespec times[2] = {{secondsSince1970, 0}, {secondsSince1970, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, folder.getFullPathName().toRawUTF8(), times, AT_SYMLINK_NOFOLLOW), 0);
}

juce::String runFolderName(long pid)
{
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    return juce::String(host) + "-" + juce::String(pid);
}

juce::File runLib()
{
    return ZQBLE::cacheFolder().getChildFile(runFolderName(static_cast<long>(getpid()))).getChildFile("lib");
}

juce::File BleFixture::makeOutsideFolder()
{
    const juce::File outside = root.getChildFile("outside");
    outside.createDirectory();
    outside.getChildFile("keep").replaceWithText("keep");
    return outside;
}

bool BleFixture::holdsKeepFile(const juce::File& folder) { return folder.getChildFile("keep").existsAsFile(); }
