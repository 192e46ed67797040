#pragma once

#include "device/bootloader/BootloaderMessages.h"
#include "states/AppState.h"
#include "tests/midi/MidiTestSupport.h"
#include "tests/support/RecordingDevice.h"
#include "ui/MainComponent.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// What happened to a test device, kept beyond the device's own life (the
// initial state destroys the device it closes).
struct DeviceLog {
    std::vector<Bytes> sent;
    std::vector<std::string> events; // "send", "close", "gone"
};

class LoggedDevice : public RecordingDevice {
public:
    explicit LoggedDevice(std::shared_ptr<DeviceLog> deviceLog) : log(std::move(deviceLog)) {}
    ~LoggedDevice() override { log->events.push_back("gone"); }

    void Close() override
    {
        log->events.push_back("close");
        RecordingDevice::Close();
    }
    int Internal_Send(const std::uint8_t* data, std::size_t length) override
    {
        log->sent.emplace_back(data, data + length);
        log->events.push_back("send");
        return RecordingDevice::Internal_Send(data, length);
    }

private:
    std::shared_ptr<DeviceLog> log;
};

inline Bytes setFwStatus(std::uint8_t status)
{
    Bytes message(bootloader::kSetFwStatusLength);
    message.front() = 0xF0;
    std::copy(bootloader::kSetFwStatus, bootloader::kSetFwStatus + 11, message.begin() + 1);
    message[12] = status;
    message.back() = 0xF7;
    return message;
}

// Puts a logged device into the device manager's open-device slot.
inline std::shared_ptr<DeviceLog> openLoggedDevice()
{
    auto log = std::make_shared<DeviceLog>();
    zq::DeviceManager::instance()->putDevice(std::make_shared<LoggedDevice>(log));
    return log;
}

// A state whose "worker" runs as long as the test says.
class BusyState : public AppState {
public:
    explicit BusyState(bool isBusy = true) : busy(isBusy) {}
    void apply(MainComponent*) const override {}
    bool isBusy() const override { return busy; }
    mutable bool busy;
};

// A main component over the simulated ports, built on a fresh message loop;
// it goes before the device manager is reset, so its workers end first.
class WindowTest : public MidiTest {
protected:
    void SetUp() override
    {
        MidiTest::SetUp();
        main = std::make_unique<MainComponent>();
        main->openWebPage = [this](const juce::URL& url) { opened.push_back(url.toString(false).toStdString()); };
        main->quitApplication = [this] { ++quits; };
    }

    void TearDown() override
    {
        main.reset();
        MidiTest::TearDown();
    }

    template <typename State>
    State* stateAs() const
    {
        return dynamic_cast<State*>(main->currentState.get());
    }

    // Runs the loop until the screen updates queued so far have run.
    void showQueued()
    {
        EXPECT_TRUE(runUntil([this] {
            std::lock_guard<std::mutex> lock(main->eventQueueLock);
            return main->eventQueue.empty();
        }));
    }

    juce::String caption() const { return main->initialView->actionButton->getButtonText(); }
    void setCaption(const std::string& text) { main->initialView->actionButton->setButtonText(juce::String(text)); }
    void clickAction() { main->buttonClicked(main->initialView->actionButton.get()); }
    juce::Image picture() const { return main->deviceImageButton->getNormalImage(); }

    std::unique_ptr<MainComponent> main;
    std::vector<std::string> opened;
    int quits = 0;
};
