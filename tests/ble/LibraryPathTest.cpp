#include "BleFixture.h"

#include "ApplicationBundle.h"
#include "ZQBLE.h"
#include "ZQBLEDeviceContext.h"
#include "ZQBLEFirmwareUpdater.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include <pwd.h>
#include <unistd.h>

namespace {

using LibraryPathTest = BleFixture;

juce::File libraryIn(const juce::File& folder) { return folder.getChildFile(ZQBLE::libraryFileName); }

constexpr int kCannotMount = 77;

// Runs `body` in a child process with a private mount namespace, after
// bind-mounting `source` on `target` there, so that the mount is gone when the
// child ends. The child's exit status is `body`'s result, or kCannotMount
// with the reason in `whyNot` when this machine allows no such mount.
int withBindMount(const juce::File& source, const juce::File& target, const std::function<int()>& body,
                  std::string& whyNot)
{
    int reason[2];
    if (pipe(reason) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(reason[0]);
        auto refuse = [&](const char* step) {
            const std::string text = std::string(step) + ": " + std::strerror(errno);
            (void)!write(reason[1], text.data(), text.size());
            _exit(kCannotMount);
        };
        if (unshare(CLONE_NEWNS) != 0)
            refuse("unshare(CLONE_NEWNS)");
        // Nothing mounted here may reach the namespace the tests run in.
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            refuse("mount --make-rprivate /");
        if (mount(source.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8(), nullptr, MS_BIND, nullptr)
            != 0)
            refuse("mount --bind");
        _exit(body());
    }
    close(reason[1]);
    char text[256];
    const ssize_t n = child > 0 ? read(reason[0], text, sizeof text) : 0;
    close(reason[0]);
    whyNot.assign(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST_F(LibraryPathTest, CacheFolderIsTheXdgCacheOrHomeCacheWithTheExecutablesName)
{
    EXPECT_EQ(ZQBLE::cacheFolder(), cacheRoot.getChildFile("KovraTikoFirmwareUpdater"));
    EXPECT_EQ(ZQBLE::staleCacheFolder(), cacheRoot.getChildFile("Kovra Tiko Firmware Updater"));

    environment.set("XDG_CACHE_HOME", "relative/cache");
    EXPECT_EQ(ZQBLE::cacheFolder(), home.getChildFile(".cache/KovraTikoFirmwareUpdater"));
    environment.unset("XDG_CACHE_HOME");
    EXPECT_EQ(ZQBLE::cacheFolder(), home.getChildFile(".cache/KovraTikoFirmwareUpdater"));

    // An empty or relative HOME gives way to the password database's home,
    // never the file-system root or the working folder.
    const std::string userHome = getpwuid(geteuid())->pw_dir;
    for (const char* homeValue : {"", "relative/home"}) {
        environment.set("HOME", homeValue);
        EXPECT_EQ(ZQBLE::cacheFolder().getFullPathName().toStdString(), userHome + "/.cache/KovraTikoFirmwareUpdater")
            << "HOME=" << homeValue;
    }
}

TEST_F(LibraryPathTest, FirmwareIsInTheBundlesResources)
{
    EXPECT_EQ(ZQBLE::getFirmwarePath(),
              bundle.getChildFile("Contents/Resources/ble_firmware.fw").getFullPathName().toStdString());
}

// The test program itself runs from the build's bin folder, beside the
// Contents folder that the build lays out.
TEST_F(LibraryPathTest, BuildLaysOutTheApplicationFolderBesideTheExecutables)
{
    executable.use({});
    const juce::File self = juce::File("/proc/self/exe").getLinkedTarget();
    EXPECT_EQ(ApplicationBundle::executable(), self);
    EXPECT_EQ(ApplicationBundle::folder(), self.getParentDirectory());
    EXPECT_TRUE(libraryIn(ApplicationBundle::helpers()).existsAsFile());
    EXPECT_TRUE(juce::File(ZQBLE::getFirmwarePath()).existsAsFile());
    EXPECT_TRUE(ApplicationBundle::resources().getChildFile("python-2.7.18.pkg").existsAsFile());
}

TEST_F(LibraryPathTest, CopiesHelpersIntoLibAndDropsANestedLib)
{
    bundle.getChildFile("Contents/Helpers/lib/stray").create();

    const std::string path = ZQBLE::getBLELibraryPath();

    const juce::File lib = ZQBLE::cacheFolder().getChildFile("lib");
    EXPECT_EQ(path, lib.getFullPathName().toStdString());
    EXPECT_TRUE(libraryIn(lib).existsAsFile());
    EXPECT_FALSE(lib.getChildFile("lib").exists());
}

TEST_F(LibraryPathTest, AnExistingLibIsUsedAsItIs)
{
    const juce::File lib = ZQBLE::cacheFolder().getChildFile("lib");
    lib.getChildFile("marker").create();

    ZQBLE::getBLELibraryPath();

    EXPECT_TRUE(lib.getChildFile("marker").existsAsFile());
    EXPECT_FALSE(libraryIn(lib).exists());
}

struct StaleCase {
    const char* name;
    int ageSeconds;
    bool sameAsCache; // the executable bears the application's name
    bool deleted;
};

class StaleCacheTest : public BleFixture, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(StaleCacheTest, OnlyAFolderOlderThanFiveMinutesIsDeleted)
{
    const StaleCase& c = GetParam();
    if (c.sameAsCache)
        nameExecutable("Kovra Tiko Firmware Updater");
    const juce::File stale = ZQBLE::staleCacheFolder();
    stale.getChildFile("lib/marker").create();
    age(stale, c.ageSeconds);

    ZQBLE::getBLELibraryPath();

    EXPECT_EQ(!stale.getChildFile("lib/marker").exists(), c.deleted);
    if (c.sameAsCache) // a kept lib folder is used without copying
        EXPECT_EQ(libraryIn(stale.getChildFile("lib")).existsAsFile(), c.deleted);
    else
        EXPECT_TRUE(libraryIn(ZQBLE::cacheFolder().getChildFile("lib")).existsAsFile());
}

INSTANTIATE_TEST_SUITE_P(Ages, StaleCacheTest,
                         ::testing::Values(StaleCase{"Created301sAgo", 301, true, true},
                                           StaleCase{"Created299sAgo", 299, true, false},
                                           StaleCase{"OtherExecutable301sAgo", 301, false, true},
                                           StaleCase{"OtherExecutable299sAgo", 299, false, false}),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(LibraryPathTest, DestroyingAContextDeletesTheCacheButNotWhatALinkInItPointsTo)
{
    const juce::File outside = makeOutsideFolder();
    {
        ZQBLEFirmwareUpdater updater(std::make_unique<ZQBLEDeviceContext>());
        ASSERT_NE(updater.context->lib, nullptr);
        const juce::File lib = ZQBLE::cacheFolder().getChildFile("lib");
        ASSERT_TRUE(outside.createSymbolicLink(lib.getChildFile("folder-link"), true));
        ASSERT_TRUE(outside.getChildFile("keep").createSymbolicLink(lib.getChildFile("file-link"), true));
    }
    EXPECT_FALSE(ZQBLE::cacheFolder().exists());
    EXPECT_TRUE(holdsKeepFile(outside));
}

// A bind mount has the device number of the file system it comes from, so
// only the mount itself tells that the folder belongs to something else.
TEST_F(LibraryPathTest, DestroyingAContextLeavesAFolderBindMountedInTheCacheWhole)
{
    const juce::File outside = makeOutsideFolder();
    const juce::File lib = ZQBLE::cacheFolder().getChildFile("lib");
    const juce::File mounted = lib.getChildFile("mounted");
    ASSERT_TRUE(mounted.createDirectory());

    std::string whyNot;
    const int result = withBindMount(
        outside, mounted,
        [&] {
            {
                ZQBLEDeviceContext context;
            }
            if (!holdsKeepFile(outside))
                return 1;
            return libraryIn(lib).exists() ? 2 : 0;
        },
        whyNot);

    if (result == kCannotMount)
        GTEST_SKIP() << "no bind mount possible here (" << whyNot << ")";
    EXPECT_NE(result, 1) << "the deletion entered the bind mount and emptied it";
    EXPECT_NE(result, 2) << "the rest of the cache was not deleted";
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(holdsKeepFile(outside));
}

TEST_F(LibraryPathTest, ANestedLibThatIsALinkIsRemovedWithoutFollowingIt)
{
    const juce::File outside = makeOutsideFolder();
    const juce::File lib = ZQBLE::cacheFolder().getChildFile("lib");
    ASSERT_TRUE(lib.createDirectory());
    ASSERT_TRUE(outside.createSymbolicLink(lib.getChildFile("lib"), true));

    ZQBLE::getBLELibraryPath();

    EXPECT_FALSE(lib.getChildFile("lib").isSymbolicLink());
    EXPECT_TRUE(holdsKeepFile(outside));
}

TEST_F(LibraryPathTest, AStaleFolderThatIsALinkIsLeftAlone)
{
    const juce::File outside = makeOutsideFolder();
    const juce::File stale = ZQBLE::staleCacheFolder();
    ASSERT_TRUE(cacheRoot.createDirectory());
    ASSERT_TRUE(outside.createSymbolicLink(stale, true));
    age(outside, 600);
    age(stale, 600);

    ZQBLE::getBLELibraryPath();

    EXPECT_TRUE(stale.isSymbolicLink());
    EXPECT_TRUE(holdsKeepFile(outside));
}

struct ForeignCache {
    const char* name;
    bool cacheIsLink; // else the lib folder inside it is
};

class ForeignCacheTest : public BleFixture, public ::testing::WithParamInterface<ForeignCache> {};

// A cache or lib folder that is a link could lead the loader to another
// library and the deletion out of the cache; neither is used.
TEST_P(ForeignCacheTest, IsNeitherLoadedFromNorDeleted)
{
    const juce::File outside = makeOutsideFolder();
    ASSERT_TRUE(bundle.getChildFile("Contents/Helpers").copyDirectoryTo(outside.getChildFile("lib")));
    ASSERT_TRUE(cacheRoot.createDirectory());
    const juce::File link = GetParam().cacheIsLink ? ZQBLE::cacheFolder() : ZQBLE::cacheFolder().getChildFile("lib");
    ASSERT_TRUE(link.getParentDirectory().createDirectory());
    ASSERT_TRUE((GetParam().cacheIsLink ? outside : outside.getChildFile("lib")).createSymbolicLink(link, true));

    EXPECT_EQ(ZQBLE::getBLELibraryPath(), "");
    {
        ZQBLEFirmwareUpdater updater(std::make_unique<ZQBLEDeviceContext>());
        EXPECT_EQ(updater.context->lib, nullptr);
        EXPECT_EQ(updater.SetFirmwarePath(ZQBLE::getFirmwarePath()), "");
        EXPECT_EQ(updater.UpdateFirmware(), -1);
    }
    // A link in our cache folder goes with it; one in its place stays.
    EXPECT_EQ(link.isSymbolicLink(), GetParam().cacheIsLink);
    EXPECT_TRUE(holdsKeepFile(outside));
    EXPECT_TRUE(libraryIn(outside.getChildFile("lib")).existsAsFile());
    EXPECT_TRUE(calls().empty());
}

INSTANTIATE_TEST_SUITE_P(Links, ForeignCacheTest,
                         ::testing::Values(ForeignCache{"CacheFolder", true}, ForeignCache{"LibFolder", false}),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(LibraryPathTest, ACachePathThatIsAFileIsLeftAlone)
{
    ASSERT_TRUE(cacheRoot.createDirectory());
    ASSERT_TRUE(ZQBLE::cacheFolder().replaceWithText("not a folder"));

    EXPECT_EQ(ZQBLE::getBLELibraryPath(), "");
    {
        ZQBLEDeviceContext context;
    }

    EXPECT_EQ(ZQBLE::cacheFolder().loadFileAsString(), "not a folder");
}

} // namespace
