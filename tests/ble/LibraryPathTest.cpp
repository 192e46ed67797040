#include "tests/ble/BleFixture.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/ScopedWallClock.h"

#include "device/ble/ApplicationBundle.h"
#include "device/ble/ZQBLE.h"
#include "device/ble/ZQBLEDeviceContext.h"
#include "device/ble/ZQBLEFirmwareUpdater.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <pwd.h>
#include <unistd.h>

namespace {

using LibraryPathTest = BleFixture;

juce::File libraryIn(const juce::File& folder) { return folder.getChildFile(ZQBLE::libraryFileName); }

// A run folder of this host's for a process that cannot be running (above
// any process id).
juce::String deadRun() { return runFolderName(99999999); }

constexpr int kCannotMount = 77;

// Runs `body` on a thread of its own in a private mount namespace (unshare
// gives one to the calling thread alone), after bind-mounting `source` on
// `target` there: no other thread sees the mount, and it goes with the
// thread. Nothing forks: a child of this process, whose other threads may
// hold locks at the fork, could not safely run the product's code. The
// result is `body`'s, or kCannotMount with the reason in `whyNot` when this
// machine allows no such mount.
int withBindMount(const juce::File& source, const juce::File& target, const std::function<int()>& body,
                  std::string& whyNot)
{
    int result = -1;
    std::thread([&] {
        auto refuse = [&](const char* step) {
            whyNot = std::string(step) + ": " + std::strerror(errno);
            result = kCannotMount;
        };
        if (unshare(CLONE_NEWNS) != 0)
            return refuse("unshare(CLONE_NEWNS)");
        // Nothing mounted here may reach the namespace the tests run in.
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return refuse("mount --make-rprivate /");
        if (mount(source.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8(), nullptr, MS_BIND, nullptr)
            != 0)
            return refuse("mount --bind");
        result = body();
    }).join();
    return result;
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

    const juce::File lib = runLib();
    EXPECT_EQ(path, lib.getFullPathName().toStdString());
    EXPECT_TRUE(libraryIn(lib).existsAsFile());
    EXPECT_FALSE(lib.getChildFile("lib").exists());
}

// A copy left in the cache folder, by an older version's run (lib) or by a
// run that was killed (its run folder), may be another library than the
// bundle's: it is never loaded, and a run folder that nobody holds goes.
TEST_F(LibraryPathTest, ACopyLeftInTheCacheIsNeverUsed)
{
    const juce::File oldLayout = ZQBLE::cacheFolder().getChildFile("lib");
    const juce::File killedRun = ZQBLE::cacheFolder().getChildFile(deadRun());
    for (const juce::File& left : {oldLayout, killedRun.getChildFile("lib")}) {
        ASSERT_TRUE(left.createDirectory());
        ASSERT_TRUE(juce::File(KOVRA_STANDIN_BARE).copyFileTo(libraryIn(left)));
    }

    const std::string path = ZQBLE::getBLELibraryPath();

    EXPECT_EQ(path, runLib().getFullPathName().toStdString());
    EXPECT_TRUE(libraryIn(runLib()).hasIdenticalContentTo(libraryIn(bundle.getChildFile("Contents/Helpers"))));
    EXPECT_FALSE(killedRun.exists());
    EXPECT_TRUE(libraryIn(oldLayout).existsAsFile()); // aged by the rule of five minutes alone
}

// The rule's clock stands still at a time set from the folder's, which is
// in whole seconds: no delay between the two can move the age.
struct StaleCase {
    const char* name;
    juce::int64 ageMs;
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
    const std::time_t modified = std::time(nullptr) - 3600;
    setModified(stale, modified);
    ScopedWallClock now(static_cast<juce::int64>(modified) * 1000 + c.ageMs);

    ZQBLE::getBLELibraryPath();

    EXPECT_EQ(!stale.getChildFile("lib/marker").exists(), c.deleted);
    // Whatever was kept, the library is this run's own copy.
    EXPECT_TRUE(libraryIn(runLib()).existsAsFile());
}

INSTANTIATE_TEST_SUITE_P(Ages, StaleCacheTest,
                         ::testing::Values(StaleCase{"Created301sAgo", 301000, true, true},
                                           StaleCase{"Created299sAgo", 299000, true, false},
                                           StaleCase{"OtherExecutable301sAgo", 301000, false, true},
                                           StaleCase{"OtherExecutable299sAgo", 299000, false, false},
                                           StaleCase{"OtherExecutableExactly300sAgo", 300000, false, false},
                                           StaleCase{"OtherExecutable300sAnd1msAgo", 300001, false, true}),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(LibraryPathTest, DestroyingAContextDeletesTheCacheButNotWhatALinkInItPointsTo)
{
    const juce::File outside = makeOutsideFolder();
    {
        ZQBLEFirmwareUpdater updater(std::make_unique<ZQBLEDeviceContext>());
        ASSERT_NE(updater.context->lib, nullptr);
        const juce::File lib = runLib();
        ASSERT_TRUE(outside.createSymbolicLink(lib.getChildFile("folder-link"), true));
        ASSERT_TRUE(outside.getChildFile("keep").createSymbolicLink(lib.getChildFile("file-link"), true));
    }
    EXPECT_FALSE(ZQBLE::cacheFolder().exists());
    EXPECT_TRUE(holdsKeepFile(outside));
}

// A bind mount has the device number of the file system it comes from, so
// only the mount itself tells that the folder belongs to something else.
// In the folder of a run that was killed, which the next run deletes.
TEST_F(LibraryPathTest, DeletingALeftRunFolderLeavesAFolderBindMountedInItWhole)
{
    const juce::File outside = makeOutsideFolder();
    const juce::File lib = ZQBLE::cacheFolder().getChildFile(deadRun()).getChildFile("lib");
    const juce::File mounted = lib.getChildFile("mounted");
    ASSERT_TRUE(mounted.createDirectory());
    ASSERT_TRUE(juce::File(KOVRA_STANDIN_BARE).copyFileTo(libraryIn(lib)));

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

// A folder that is itself a mount point belongs to what is mounted there:
// a bind mount at the name of a run folder whose run has ended, or at the
// stale folder of the application's name, is left whole. A cache folder that
// is one (here also the stale folder) is still used for this run's folder,
// which goes again at the end.
TEST_F(LibraryPathTest, AMountPointInTheCacheIsLeftWhole)
{
    struct Case {
        const char* what;
        const char* executable;
        juce::File (*target)();
    };
    const Case cases[] = {
        {"a run folder's name", "KovraTikoFirmwareUpdater",
         [] { return ZQBLE::cacheFolder().getChildFile(deadRun()); }},
        {"the stale folder", "KovraTikoFirmwareUpdater", [] { return ZQBLE::staleCacheFolder(); }},
        {"the stale folder that is the cache folder", "Kovra Tiko Firmware Updater",
         [] { return ZQBLE::staleCacheFolder(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nameExecutable(c.executable);
        const juce::File outside = makeOutsideFolder();
        outside.getChildFile("lib/marker").create();
        const juce::File target = c.target();
        ASSERT_TRUE(target.createDirectory());

        std::string whyNot;
        const int result = withBindMount(
            outside, target,
            [&] {
                age(target, 600);
                {
                    ZQBLEDeviceContext context;
                    if (context.lib == nullptr)
                        return 3;
                }
                if (!holdsKeepFile(outside) || !outside.getChildFile("lib/marker").exists())
                    return 1;
                return outside.getNumberOfChildFiles(juce::File::findFilesAndDirectories) == 2 ? 0 : 2;
            },
            whyNot);

        if (result == kCannotMount)
            GTEST_SKIP() << "no bind mount possible here (" << whyNot << ")";
        EXPECT_NE(result, 1) << "the deletion emptied the mount point";
        EXPECT_NE(result, 2) << "this run's folder stayed in the mount";
        EXPECT_NE(result, 3) << "the library did not load";
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(holdsKeepFile(outside));
        ZQBLE::cacheFolder().deleteRecursively();
        root.getChildFile("cache").deleteRecursively();
    }
}

TEST_F(LibraryPathTest, ANestedLibThatIsALinkIsRemovedWithoutFollowingIt)
{
    const juce::File outside = makeOutsideFolder();
    ASSERT_TRUE(outside.createSymbolicLink(bundle.getChildFile("Contents/Helpers/lib"), true));

    ZQBLE::getBLELibraryPath();

    EXPECT_FALSE(runLib().getChildFile("lib").exists());
    EXPECT_FALSE(runLib().getChildFile("lib").isSymbolicLink());
    EXPECT_TRUE(holdsKeepFile(outside));
}

// A link named like a run folder is removed without being followed.
TEST_F(LibraryPathTest, ALinkInPlaceOfARunFolderIsRemovedWithoutFollowingIt)
{
    const juce::File outside = makeOutsideFolder();
    ASSERT_TRUE(ZQBLE::cacheFolder().createDirectory());
    ASSERT_TRUE(outside.createSymbolicLink(ZQBLE::cacheFolder().getChildFile(deadRun()), true));

    EXPECT_EQ(ZQBLE::getBLELibraryPath(), runLib().getFullPathName().toStdString());

    EXPECT_FALSE(ZQBLE::cacheFolder().getChildFile(deadRun()).isSymbolicLink());
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

// A cache folder that is a link could lead the loader to another library
// and the deletion out of the cache; it is neither used nor deleted.
TEST_F(LibraryPathTest, ACacheFolderThatIsALinkIsNeitherLoadedFromNorDeleted)
{
    const juce::File outside = makeOutsideFolder();
    ASSERT_TRUE(bundle.getChildFile("Contents/Helpers").copyDirectoryTo(outside.getChildFile("lib")));
    ASSERT_TRUE(cacheRoot.createDirectory());
    const juce::File link = ZQBLE::cacheFolder();
    ASSERT_TRUE(outside.createSymbolicLink(link, true));

    EXPECT_EQ(ZQBLE::getBLELibraryPath(), "");
    {
        ZQBLEFirmwareUpdater updater(std::make_unique<ZQBLEDeviceContext>());
        EXPECT_EQ(updater.context->lib, nullptr);
        EXPECT_EQ(updater.SetFirmwarePath(ZQBLE::getFirmwarePath()), "");
        EXPECT_EQ(updater.UpdateFirmware(), -1);
    }
    EXPECT_TRUE(link.isSymbolicLink());
    EXPECT_TRUE(holdsKeepFile(outside));
    EXPECT_TRUE(libraryIn(outside.getChildFile("lib")).existsAsFile());
    EXPECT_TRUE(calls().empty());
}

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

// Another instance of the program: the demo's "--bt", on the same cache
// folder (this test bears the demo's name), its waits run fast.
ProcessResult runOtherInstance(const juce::File& home, const juce::File& cacheRoot, std::vector<std::string> more = {},
                               const ProcessOptions& options = {})
{
    std::vector<std::string> environment{"KOVRA_DEMO_SPEEDUP=10", "HOME=" + home.getFullPathName().toStdString(),
                                         "XDG_CACHE_HOME=" + cacheRoot.getFullPathName().toStdString(),
                                         "KOVRA_STANDIN_DOWNLOAD_MS=50", "KOVRA_STANDIN_CALL_LOG"};
    environment.insert(environment.end(), more.begin(), more.end());
    return runProcess(KOVRA_DEMO_BINARY, {"--bt"}, environment, 120, options);
}

const char* const kDemoName = "KovraTikoFirmwareUpdaterDemo";

// Two instances at once: the one that ends first deletes only its own
// folder, not the library of the one still using it.
TEST_F(LibraryPathTest, AnotherInstanceEndingLeavesThisRunsLibrary)
{
    nameExecutable(kDemoName);
    ZQBLEFirmwareUpdater updater(std::make_unique<ZQBLEDeviceContext>());
    ASSERT_NE(updater.context->lib, nullptr);

    const ProcessResult other = runOtherInstance(home, cacheRoot);
    EXPECT_NE(other.out.find("Get result code again: 0\n"), std::string::npos) << other.out;

    EXPECT_TRUE(libraryIn(runLib()).existsAsFile());
    EXPECT_EQ(ZQBLE::getBLELibraryPath(), runLib().getFullPathName().toStdString());
    EXPECT_EQ(updater.SetFirmwarePath(ZQBLE::getFirmwarePath()), "0107");
}

// A run killed in the middle of the module's download leaves its copy of
// the library behind; a later run loads the bundle's (here another library,
// without SetFirmwareFile), never that copy, and deletes it.
TEST_F(LibraryPathTest, ACopyLeftByAKilledInstanceIsNotLoaded)
{
    nameExecutable(kDemoName);
    ProcessOptions killMidDownload;
    killMidDownload.onOutput = [](int pid, const std::string& out) {
        if (out.find("Got fw version: 0107\n") != std::string::npos)
            kill(pid, SIGKILL);
    };
    const ProcessResult killed = runOtherInstance(home, cacheRoot, {"KOVRA_STANDIN_NEVER_ENDS=1"}, killMidDownload);
    ASSERT_NE(killed.out.find("Got fw version: 0107\n"), std::string::npos) << killed.out;
    ASSERT_FALSE(killed.timedOut);
    ASSERT_TRUE(ZQBLE::cacheFolder().isDirectory());

    useLibrary(KOVRA_STANDIN_BARE);
    {
        ZQBLEFirmwareUpdater updater(std::make_unique<ZQBLEDeviceContext>());
        ASSERT_NE(updater.context->lib, nullptr);
        EXPECT_EQ(updater.SetFirmwarePath(ZQBLE::getFirmwarePath()), "-65535");
    }
    EXPECT_FALSE(ZQBLE::cacheFolder().exists());
}

} // namespace
