#include "tests/ble/BleFixture.h"

#include "device/ble/ZQBLE.h"
#include "device/ble/ZQBLEDeviceContext.h"
#include "device/ble/ZQBLEFirmwareUpdater.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using FirmwareUpdaterTest = BleFixture;
using Lines = std::vector<std::string>;

std::unique_ptr<ZQBLEFirmwareUpdater> makeUpdater()
{
    return std::make_unique<ZQBLEFirmwareUpdater>(std::make_unique<ZQBLEDeviceContext>());
}

bool contains(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(FirmwareUpdaterTest, AnUpdateCallsTheLibraryInOrderAndReportsItsEvents)
{
    g_listener = &listener;
    auto updater = makeUpdater();
    const std::string lib = ZQBLE::getBLELibraryPath();

    EXPECT_EQ(updater->SetFirmwarePath(ZQBLE::getFirmwarePath()), "0107");
    EXPECT_EQ(updater->UpdateFirmware(), 0);
    updater.reset();

    const Lines expected = {
        "Load",
        "Initialize 2",
        "SetLibPath " + lib,
        "SetFirmwareFile " + ZQBLE::getFirmwarePath(),
        "SetConfiguration PRODUCTION 1",
        "SetConfiguration FLASH_ERASE 1",
        "SetConfiguration RESTART 1",
        "RefreshDevice 257",
        "Download",
        "Download returned 0",
        "Release",
        "Unload",
    };
    EXPECT_EQ(calls(), expected);
    EXPECT_EQ(listener.progressValues(), (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(listener.completionCodes(), std::vector<int>{0});
    EXPECT_FALSE(ZQBLE::cacheFolder().exists());
}

struct NotLoadable {
    const char* name;
    const char* content; // null: no library file at all
};

class NotLoadableTest : public BleFixture, public ::testing::WithParamInterface<NotLoadable> {};

TEST_P(NotLoadableTest, GivesAnEmptyTextAndMinusOne)
{
    const juce::File library = bundle.getChildFile("Contents/Helpers").getChildFile(ZQBLE::libraryFileName);
    if (GetParam().content == nullptr)
        ASSERT_TRUE(library.deleteFile());
    else
        ASSERT_TRUE(library.replaceWithText(GetParam().content));

    auto updater = makeUpdater();
    EXPECT_EQ(updater->context->lib, nullptr);
    EXPECT_EQ(updater->context->functions, nullptr);
    EXPECT_EQ(updater->SetFirmwarePath(ZQBLE::getFirmwarePath()), "");
    EXPECT_EQ(updater->UpdateFirmware(), -1);
    updater.reset();
    EXPECT_FALSE(ZQBLE::cacheFolder().exists());
}

INSTANTIATE_TEST_SUITE_P(Libraries, NotLoadableTest,
                         ::testing::Values(NotLoadable{"Missing", nullptr},
                                           NotLoadable{"NotALibrary", "not a library"}),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

struct FirmwareText {
    const char* name;
    std::string fileContent; // empty: the bundle's file
    const char* refuseKnob;  // null: the library accepts
    std::string expected;
};

class FirmwareTextTest : public BleFixture, public ::testing::WithParamInterface<FirmwareText> {};

TEST_P(FirmwareTextTest, IsTheLibrarysTextOrTheRefusal)
{
    const FirmwareText& c = GetParam();
    std::string path = ZQBLE::getFirmwarePath();
    if (!c.fileContent.empty()) {
        const juce::File file = root.getChildFile("custom.fw");
        ASSERT_TRUE(file.replaceWithData(c.fileContent.data(), c.fileContent.size()));
        path = file.getFullPathName().toStdString();
    }
    if (c.refuseKnob != nullptr)
        setKnob("KOVRA_STANDIN_REFUSE_FILE", c.refuseKnob);

    EXPECT_EQ(makeUpdater()->SetFirmwarePath(path), c.expected);
}

const std::string kLongVersion(200, '7');

INSTANTIATE_TEST_SUITE_P(
    Files, FirmwareTextTest,
    ::testing::Values(FirmwareText{"BundledFile", "", nullptr, "0107"},
                      FirmwareText{"RefusedWithThree", "", "3", "-65535"},
                      FirmwareText{"Unreadable", "no magic line\n", nullptr, "-65535"},
                      FirmwareText{"UpToTheFirstZeroByte", std::string("KOVRA-BLE-FW 1\nversion 0107\0tail\n", 34),
                                   nullptr, "0107"},
                      FirmwareText{"LongTextCutAt127", "KOVRA-BLE-FW 1\nversion " + kLongVersion + "\n", nullptr,
                                   kLongVersion.substr(0, 127)}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(FirmwareUpdaterTest, NoModuleGivesMinusTwoAfterTheSettingsWithoutDownloading)
{
    setKnob("KOVRA_STANDIN_NO_MODULE", "1");
    auto updater = makeUpdater();
    updater->SetFirmwarePath(ZQBLE::getFirmwarePath());

    EXPECT_EQ(updater->UpdateFirmware(), -2);

    const Lines log = calls();
    const Lines tail(log.end() - 4, log.end());
    EXPECT_EQ(tail, (Lines{"SetConfiguration PRODUCTION 1", "SetConfiguration FLASH_ERASE 1",
                           "SetConfiguration RESTART 1", "RefreshDevice 257"}));
    EXPECT_FALSE(contains(log, "Download"));
}

struct DownloadCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> knobs;
    int code;
    std::vector<int> progress;
    std::vector<int> completions;
};

class DownloadTest : public BleFixture, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(DownloadTest, HandsOnTheLibrarysResultAndEvents)
{
    const DownloadCase& c = GetParam();
    for (const auto& [name, value] : c.knobs)
        setKnob(name, value);
    g_listener = &listener;
    auto updater = makeUpdater();
    updater->SetFirmwarePath(ZQBLE::getFirmwarePath());

    EXPECT_EQ(updater->UpdateFirmware(), c.code);
    EXPECT_EQ(listener.progressValues(), c.progress);
    EXPECT_EQ(listener.completionCodes(), c.completions);
}

const std::vector<int> kUsualProgress = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};

INSTANTIATE_TEST_SUITE_P(
    Outcomes, DownloadTest,
    ::testing::Values(
        DownloadCase{"DownloadReturnsFive", {{"KOVRA_STANDIN_DOWNLOAD_RESULT", "5"}}, 5, kUsualProgress, {5}},
        DownloadCase{"CompletionCodeOfItsOwn", {{"KOVRA_STANDIN_COMPLETE_CODE", "7"}}, 0, kUsualProgress, {7}},
        DownloadCase{"NoCompletionEvent", {{"KOVRA_STANDIN_NO_COMPLETE", "1"}}, 0, kUsualProgress, {}},
        DownloadCase{"ProgressOutsideTheRange", {{"KOVRA_STANDIN_PROGRESS", "-5,40,150"}}, 0, {-5, 40, 150}, {0}},
        // The library will not download a file it refused.
        DownloadCase{"AfterARefusedFile", {{"KOVRA_STANDIN_REFUSE_FILE", "3"}}, 2, {}, {}}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

struct MissingEntries {
    const char* name;
    const char* library;
    std::string text;
    int code;
    Lines log;
};

class MissingEntriesTest : public BleFixture, public ::testing::WithParamInterface<MissingEntries> {};

TEST_P(MissingEntriesTest, AreNeverCalled)
{
    const MissingEntries& c = GetParam();
    useLibrary(c.library);
    {
        auto updater = makeUpdater();
        EXPECT_EQ(updater->SetFirmwarePath(ZQBLE::getFirmwarePath()), c.text);
        EXPECT_EQ(updater->UpdateFirmware(), c.code);
    }

    Lines log = calls();
    // The paths are the test's own.
    for (std::string& line : log)
        for (const char* call : {"SetLibPath", "SetFirmwareFile"})
            if (line.rfind(std::string(call) + " ", 0) == 0)
                line = call;
    EXPECT_EQ(log, c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, MissingEntriesTest,
    ::testing::Values(MissingEntries{"NoInitializeSetLibPathFileDownloadRelease",
                                     KOVRA_STANDIN_BARE,
                                     "-65535",
                                     -1,
                                     {"Load", "SetConfiguration PRODUCTION 1", "SetConfiguration FLASH_ERASE 1",
                                      "SetConfiguration RESTART 1", "RefreshDevice 257", "Unload"}},
                      MissingEntries{"NoRefreshDevice",
                                     KOVRA_STANDIN_NOREFRESH,
                                     "0107",
                                     -2,
                                     {"Load", "Initialize 2", "SetLibPath", "SetFirmwareFile", "Release", "Unload"}},
                      MissingEntries{"NoSetConfiguration",
                                     KOVRA_STANDIN_NOCONFIG,
                                     "0107",
                                     -2,
                                     {"Load", "Initialize 2", "SetLibPath", "SetFirmwareFile", "Release", "Unload"}}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

} // namespace
