#pragma once

#include "resources/Picture.h"
#include "ui/ConnectedDeviceInfoView.h"
#include "ui/FirmwareUpdateProgressView.h"
#include "ui/InitialDeviceInfoView.h"
#include "ui/MessageToast.h"
#include "ui/PythonInstallInfoView.h"
#include "ui/TroubleshootingPageView.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class AppState;

// The window's content: the five screens, the device picture with its
// badge, the toast, the troubleshooting banner, the current application
// state and the UI event queue through which the states change the screens.
class MainComponent : public juce::Component, public juce::AsyncUpdater, public juce::Button::Listener {
public:
    MainComponent();
    ~MainComponent() override;

    void paint(juce::Graphics&) override;
    void resized() override;
    void handleAsyncUpdate() override;
    void buttonClicked(juce::Button*) override;

    // Message thread: the one way to switch the application state. Once a
    // quit is pending or sent, only a state that enters quietly is entered.
    void changeState(std::unique_ptr<AppState> next);
    // Message thread: a quit waits for the running step; from now on no
    // state that starts work or talks to the amplifier is entered.
    void holdForQuit() { quitHeld = true; }
    bool quitPending() const;
    // Any thread; the caller then calls triggerAsyncUpdate().
    void pushAsyncEvent(std::function<void()> fn);

    // True while the current state's worker runs; clicks, the device-list
    // callback and the window's close leave such a state alone, because its
    // worker may be waiting for the message thread.
    bool stateIsBusy() const;

    // Shows `picture` on the device picture, decoded afresh.
    void setDeviceImage(const resources::Picture& picture);
    // Makes `screen`, one of the five views, the only one visible.
    void showOnlyScreen(juce::Component* screen);

    // Where the routed links and "Done" lead; tests replace them.
    std::function<void(const juce::URL&)> openWebPage;
    std::function<void()> quitApplication;

    std::unique_ptr<juce::ImageButton> deviceImageButton;
    std::unique_ptr<juce::ImageButton> statusBadgeButton;
    juce::Image deviceImage;
    juce::Image badgeImage;
    std::unique_ptr<InitialDeviceInfoView> initialView;
    std::unique_ptr<ConnectedDeviceInfoView> connectedView;
    std::unique_ptr<TroubleshootingPageView> troubleshootingView;
    std::unique_ptr<FirmwareUpdateProgressView> progressView;
    std::unique_ptr<PythonInstallInfoView> pythonInfoView;
    std::unique_ptr<juce::Label> troubleshootingBanner;
    std::unique_ptr<MessageToast> toast;
    juce::StretchableLayoutManager verticalLayout;
    juce::StretchableLayoutManager horizontalLayout;
    std::deque<std::function<void()>> eventQueue;
    std::mutex eventQueueLock;
    // Declared after the queue and its lock: destroyed before them, since its
    // worker may still push.
    std::unique_ptr<AppState> currentState;
    std::atomic<int> hardwareType{0}; // written by the connected state, read by the update worker
    bool showTroubleshootingBanner = false;
    std::atomic<std::uint32_t> pythonCheckTime{0}; // written by the update worker, read by the Python worker
    int badgeKind = 0;                             // 0 none, 1 update, 2 success, 3 error

private:
    void initViews();
    // The web page that `button` opens as captioned now, or an empty URL.
    juce::URL webPageFor(const juce::Button* button) const;

    std::unique_ptr<juce::ColourGradient> background; // made at the first paint
    bool closing = false;                             // set by the destructor: no more state changes
    bool quitHeld = false;                            // set by holdForQuit
};
