#include "app/MainWindow.h"

#include "app/DisplayLoss.h"
#include "device/bootloader/BootloaderMessages.h"
#include "device/midi/DeviceManager.h"
#include "ui/MainComponent.h"

#include <utility>

namespace {

juce::Colour defaultBackground()
{
    const juce::LookAndFeel& lookAndFeel = juce::Desktop::getInstance().getDefaultLookAndFeel();
    return lookAndFeel.isColourSpecified(juce::ResizableWindow::backgroundColourId)
               ? lookAndFeel.findColour(juce::ResizableWindow::backgroundColourId)
               : juce::Colours::black;
}

} // namespace

NimbalFwUpgradeLauncherApplication::MainWindow::MainWindow()
    : juce::DocumentWindow(juce::JUCEApplication::getInstance()->getApplicationName(), defaultBackground(),
                           juce::DocumentWindow::allButtons, true)
{
    setUsingNativeTitleBar(true);
    setContentOwned(new MainComponent(), true);
    setResizable(true, true);
    centreWithSize(getWidth(), getHeight());
    setName("Kovra TIKO Firmware Updater");
    setVisible(true);
}

NimbalFwUpgradeLauncherApplication::MainWindow::~MainWindow() = default;

MainComponent* NimbalFwUpgradeLauncherApplication::MainWindow::mainComponent() const
{
    return dynamic_cast<MainComponent*>(getContentComponent());
}

void NimbalFwUpgradeLauncherApplication::MainWindow::closeButtonPressed()
{
    // A worker may be using the device, or waiting for the message thread:
    // closing now would pull the device from under it or hang on it. The
    // quit waits for the worker and carries the close out then.
    if (MainComponent* content = mainComponent(); content != nullptr && content->stateIsBusy())
        closeClicked = true;
    else
        closeDevice();
    if (auto* application = juce::JUCEApplication::getInstance())
        application->systemRequestedQuit();
}

void NimbalFwUpgradeLauncherApplication::MainWindow::resized()
{
    if (!DisplayLoss::happened())
        juce::DocumentWindow::resized();
}

void NimbalFwUpgradeLauncherApplication::MainWindow::closeIfClicked()
{
    if (std::exchange(closeClicked, false))
        closeDevice();
}

void NimbalFwUpgradeLauncherApplication::MainWindow::closeDevice()
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    manager->sendFwStatus(bootloader::kStatusToApplication);
    manager->stopPolling();
    manager->closeDevice();
}
