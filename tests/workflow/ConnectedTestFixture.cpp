#include "tests/workflow/ConnectedTestFixture.h"

#include "device/ble/ZQBLE.h"
#include "device/midi/ZQUsbMidiG1.h"
#include "states/UpdateResultAppState.h"
#include "ui/Constant.h"

#include <cstdlib>

void ConnectedTest::SetUp()
{
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the window's tests need an X server";
    WindowTest::SetUp();

    temp = std::make_unique<TempFolder>();
    ASSERT_FALSE(temp->path().empty());
    const juce::File root(temp->path());
    bundle = root.getChildFile("bundle");
    const juce::File built(KOVRA_BUNDLE_CONTENTS);
    const juce::File library = bundle.getChildFile("Contents/Helpers").getChildFile(ZQBLE::libraryFileName);
    ASSERT_TRUE(library.getParentDirectory().createDirectory());
    ASSERT_TRUE(built.getChildFile("Helpers").getChildFile(ZQBLE::libraryFileName).copyFileTo(library));
    const juce::File firmware = bundle.getChildFile("Contents/Resources/ble_firmware.fw");
    ASSERT_TRUE(firmware.getParentDirectory().createDirectory());
    ASSERT_TRUE(built.getChildFile("Resources/ble_firmware.fw").copyFileTo(firmware));
    executable.use(bundle.getChildFile("workflow"));
    environment.set("XDG_CACHE_HOME", root.getChildFile("cache").getFullPathName().toStdString());

    // The tests enter the states themselves.
    zq::DeviceManager::instance()->stopPolling();
    ASSERT_TRUE(runUntil(
        [this] { return main->initialView->isVisible() && caption() == juce::String(constant::k_connectButtonText); }));
}

void ConnectedTest::openFirstAmplifier()
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    ASSERT_GE(manager->probeAll(), 1);
    const std::vector<zq::DeviceId> ids = manager->deviceUuids();
    ASSERT_FALSE(ids.empty());
    const auto device = std::make_shared<ZQUsbMidiG1>(ids.front().data());
    manager->putDevice(device);
    ASSERT_TRUE(device->Open());
}

bool ConnectedTest::enterAndRunUntil(std::unique_ptr<AppState> state, const std::function<bool()>& done, int timeoutMs)
{
    main->changeState(std::move(state));
    return runUntil(done, timeoutMs);
}

void ConnectedTest::writeFirmwareVersion(const std::string& version)
{
    ASSERT_TRUE(bundle.getChildFile("Contents/Resources/ble_firmware.fw")
                    .replaceWithText("KOVRA-BLE-FW 1\nversion " + juce::String(version) + "\npayload\n"));
}

void ConnectedTest::hideLatestBluetoothVersion(LatestUnknown why)
{
    switch (why) {
    case LatestUnknown::FileRefused: setKnob("KOVRA_STANDIN_REFUSE_FILE", "7"); break;
    case LatestUnknown::NoLibrary:
        ASSERT_TRUE(bundle.getChildFile("Contents/Helpers").getChildFile(ZQBLE::libraryFileName).deleteFile());
        break;
    case LatestUnknown::CacheFolderUnusable: setKnob("XDG_CACHE_HOME", temp->writeFile("cache-is-a-file", "")); break;
    }
}

void ConnectedTest::setKnob(const char* name, const std::string& value) { environment.set(name, value); }

std::string ConnectedTest::row(int index) const
{
    return main->connectedView->rows[static_cast<std::size_t>(index)]->valueLabel->getText().toStdString();
}

bool ConnectedTest::resultShown(int kind, int code) const
{
    const auto* result = stateAs<UpdateResultAppState>();
    return result != nullptr && result->kind == kind && result->code == code && main->initialView->isVisible();
}

bool ConnectedTest::connectedPageShown() const
{
    return main->connectedView->isVisible() && !main->initialView->isVisible()
           && !main->troubleshootingView->isVisible();
}

bool ConnectedTest::receivedCommand(const sim::SimulatedAmplifier& amplifier, std::uint8_t op1, std::uint8_t op2)
{
    for (const auto& message : amplifier.receivedMessages())
        if (message.size() >= 7 && message[0] == 0xF0 && message[1] == 0x01 && message[4] == op1 && message[5] == op2)
            return true;
    return false;
}

bool ConnectedTest::receivedTag(const sim::SimulatedAmplifier& amplifier, const std::string& tag)
{
    for (const auto& message : amplifier.receivedMessages())
        if (message.size() > tag.size() && message[0] == 0xF0
            && std::equal(tag.begin(), tag.end(), message.begin() + 1))
            return true;
    return false;
}
