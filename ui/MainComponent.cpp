#include "ui/MainComponent.h"

#include "commands/Descendants.h"
#include "device/bootloader/BootloaderMessages.h"
#include "device/midi/DeviceManager.h"
#include "runtime/messagethread/OnMessageThread.h"
#include "states/AppState.h"
#include "states/ConnectingAppState.h"
#include "states/InitialAppState.h"
#include "states/KovraTikoButtonPromptAppState.h"
#include "states/KovraTikoFwCheckingAppState.h"
#include "states/PythonInstallingAppState.h"
#include "states/TroubleshootingAppState.h"
#include "states/UpdateResultAppState.h"
#include "states/WorkflowCodes.h"
#include "ui/Constant.h"

#include <optional>
#include <utility>

namespace {

const juce::String kMakerSite = "https://www.kovra.example";
const juce::String kHelpSite = "https://help.kovra.example";

void setPicture(juce::ImageButton& button, const juce::Image& image)
{
    const juce::Colour clear(0x00000000);
    button.setImages(true, true, true, image, 1.0f, clear, image, 1.0f, clear, image, 1.0f, clear, 0.0f);
}

juce::Image decode(const resources::Picture& picture)
{
    return juce::ImageFileFormat::loadFrom(picture.data, static_cast<size_t>(picture.size));
}

bool captionIs(const juce::Button& button, const std::string& caption)
{
    return button.getButtonText().toStdString() == caption;
}

} // namespace

MainComponent::MainComponent()
    // The browser that opens the page stays when the program ends.
    : openWebPage([](const juce::URL& url) { Descendants::spare([&url] { url.launchInDefaultBrowser(); }); }),
      quitApplication([] { juce::JUCEApplicationBase::quit(); })
{
    currentState = std::make_unique<InitialAppState>();
    initViews();
    setSize(375, 667);
    currentState->apply(this);
}

MainComponent::~MainComponent()
{
    // The state's destruction waits for its worker; a call of the worker's
    // to the message thread (a probe, an Open) fails meanwhile, and its step
    // ends as on any other failure. Its last act, a state change, is
    // dropped: we are going away.
    closing = true;
    {
        const zq::MessageThreadWaits waiting;
        currentState.reset();
    }
    // The device manager outlives us; its callback must not keep pointing here.
    zq::DeviceManager::instance()->setOnDeviceListChangedCallback(nullptr);
}

void MainComponent::initViews()
{
    deviceImage = decode(resources::connectPicture());
    deviceImageButton = std::make_unique<juce::ImageButton>(juce::String());
    setPicture(*deviceImageButton, deviceImage);
    addAndMakeVisible(*deviceImageButton);

    badgeImage = decode(resources::updateBadgePicture());
    statusBadgeButton = std::make_unique<juce::ImageButton>(juce::String());
    setPicture(*statusBadgeButton, badgeImage);
    statusBadgeButton->setVisible(false);
    addChildComponent(*statusBadgeButton);

    initialView = std::make_unique<InitialDeviceInfoView>();
    addAndMakeVisible(*initialView);
    initialView->actionButton->addListener(this);
    initialView->learnMoreButton->addListener(this);
    initialView->helpCenterButton->addListener(this);
    initialView->troubleshootingLinkButton->addListener(this);

    connectedView = std::make_unique<ConnectedDeviceInfoView>();
    addChildComponent(*connectedView);
    connectedView->updateButton->addListener(this);
    connectedView->cancelButton->addListener(this);

    troubleshootingView = std::make_unique<TroubleshootingPageView>();
    addChildComponent(*troubleshootingView);
    troubleshootingView->retryButton->addListener(this);
    troubleshootingView->modeButton->addListener(this);

    pythonInfoView = std::make_unique<PythonInstallInfoView>();
    addChildComponent(*pythonInfoView);
    pythonInfoView->proceedButton->addListener(this);
    pythonInfoView->cancelButton->addListener(this);

    progressView = std::make_unique<FirmwareUpdateProgressView>();
    addChildComponent(*progressView);

    toast = std::make_unique<MessageToast>();
    addChildComponent(*toast);

    troubleshootingBanner = std::make_unique<juce::Label>(juce::String(), "Troubleshooting Mode");
    troubleshootingBanner->setVisible(false);
    troubleshootingBanner->setColour(juce::Label::backgroundColourId, juce::Colour(0xff141414));
    troubleshootingBanner->setColour(juce::Label::textColourId, constant::NORMAL_TEXT_COLOUR);
    troubleshootingBanner->setFont(constant::DEFAULT_TEXT_FONT);
    troubleshootingBanner->setJustificationType(juce::Justification::centred);
    addChildComponent(*troubleshootingBanner);
}

void MainComponent::paint(juce::Graphics& g)
{
    if (background == nullptr) {
        const auto w = static_cast<float>(getWidth());
        const auto h = static_cast<float>(getHeight());
        background = std::make_unique<juce::ColourGradient>(juce::Colour(0xff3c3c3c), 0.0f, 0.0f,
                                                            juce::Colour(0xff171717), w, 0.3f * h, true);
    }
    juce::Graphics::ScopedSaveState saved(g);
    g.setGradientFill(*background);
    g.fillAll();
}

void MainComponent::resized()
{
    const int w = getWidth();
    const int h = getHeight();

    juce::Component* screen = nullptr;
    bool withPicture = true;
    if (initialView->isVisible()) {
        screen = initialView.get();
        withPicture = !troubleshootingView->isVisible();
    } else if (troubleshootingView->isVisible()) {
        screen = troubleshootingView.get();
        withPicture = false;
    } else if (connectedView->isVisible()) {
        screen = connectedView.get();
    } else if (progressView->isVisible()) {
        screen = progressView.get();
    } else {
        screen = pythonInfoView.get();
    }

    if (withPicture) {
        deviceImageButton->setVisible(true);
        horizontalLayout.setItemLayout(0, w - 150, w - 150, w - 150);
        juce::Component* picture[] = {deviceImageButton.get()};
        horizontalLayout.layOutComponents(picture, 1, 75, 0, w - 150, h, false, true);
        juce::Component* screenOnly[] = {screen};
        horizontalLayout.layOutComponents(screenOnly, 1, 0, 0, w, h, false, true);
        verticalLayout.setItemLayout(0, 0, 500, 500);
        verticalLayout.setItemLayout(1, 256, h, h);
        verticalLayout.setItemLayout(2, 0, h, h);
        juce::Component* both[] = {deviceImageButton.get(), screen};
        verticalLayout.layOutComponents(both, 2, 0, 40, w, h, true, false);
    } else {
        deviceImageButton->setVisible(false);
        horizontalLayout.setItemLayout(0, w - 100, w - 100, w - 100);
        juce::Component* screenOnly[] = {screen};
        horizontalLayout.layOutComponents(screenOnly, 1, 50, 0, w - 100, h, false, true);
        verticalLayout.setItemLayout(0, 256, h, h);
        verticalLayout.setItemLayout(1, 0, h, h);
        verticalLayout.layOutComponents(screenOnly, 1, 0, 20, w, h, true, false);
    }

    toast->setBounds(32, 550, w - 64, 60);

    troubleshootingBanner->setBounds(0, 0, w, 40);
    troubleshootingBanner->setVisible(showTroubleshootingBanner);

    const juce::Rectangle<int> picture = deviceImageButton->getBounds();
    statusBadgeButton->setTopLeftPosition(picture.getRight() - 60, picture.getBottom() - 50);

    std::optional<resources::Picture> badge;
    switch (badgeKind) {
    case 1: badge = resources::updateBadgePicture(); break;
    case 2: badge = resources::successBadgePicture(); break;
    case 3: badge = resources::errorBadgePicture(); break;
    default: break;
    }
    if (badge) {
        badgeImage = decode(*badge);
        setPicture(*statusBadgeButton, badgeImage);
        statusBadgeButton->setVisible(true);
    } else if (badgeKind == 0) {
        statusBadgeButton->setVisible(false);
    }
}

void MainComponent::handleAsyncUpdate()
{
    std::lock_guard<std::mutex> lock(eventQueueLock);
    while (!eventQueue.empty()) {
        std::function<void()> fn = std::move(eventQueue.front());
        eventQueue.pop_front();
        fn();
    }
}

void MainComponent::pushAsyncEvent(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(eventQueueLock);
    eventQueue.push_back(std::move(fn));
}

void MainComponent::changeState(std::unique_ptr<AppState> next)
{
    JUCE_ASSERT_MESSAGE_THREAD
    // Once the quit is sent the loop stops soon: a worker started now would
    // lose the message thread under it, an update in its reconnect. A quit
    // that waits for a step lets that step end, and nothing new start.
    if (closing || (quitPending() && !next->entersQuietly()))
        return;
    std::unique_ptr<AppState> old = std::exchange(currentState, std::move(next));
    {
        // Its worker, if one still runs, cannot be served meanwhile.
        const zq::MessageThreadWaits waiting;
        old.reset();
    }
    currentState->apply(this);
}

bool MainComponent::quitPending() const
{
    const juce::MessageManager* messages = juce::MessageManager::getInstanceWithoutCreating();
    return quitHeld || (messages != nullptr && messages->hasStopMessageBeenSent());
}

bool MainComponent::stateIsBusy() const { return currentState != nullptr && currentState->isBusy(); }

void MainComponent::setDeviceImage(const resources::Picture& picture)
{
    setPicture(*deviceImageButton, decode(picture));
}

void MainComponent::showOnlyScreen(juce::Component* screen)
{
    for (juce::Component* view :
         {static_cast<juce::Component*>(initialView.get()), static_cast<juce::Component*>(connectedView.get()),
          static_cast<juce::Component*>(troubleshootingView.get()), static_cast<juce::Component*>(progressView.get()),
          static_cast<juce::Component*>(pythonInfoView.get())})
        view->setVisible(view == screen);
}

juce::URL MainComponent::webPageFor(const juce::Button* button) const
{
    if (button == initialView->actionButton.get()) {
        if (captionIs(*button, constant::k_download25UpdaterButtonText))
            return juce::URL(kHelpSite + "/hc/en-us/articles/360038685111-Kovra-Firmware-Update-Video-Tutorial-");
        if (captionIs(*button, constant::k_downloadZeUpdaterButtonText))
            return juce::URL(kHelpSite + "/hc/en-us/articles/15470073547789-Kovra-ZE-Firmware-Update");
    } else if (button == initialView->learnMoreButton.get()) {
        return juce::URL(kMakerSite + "/kovra-tiko");
    } else if (button == initialView->helpCenterButton.get()) {
        return juce::URL(kHelpSite + "/hc/en-us/categories/4418053666573-Kovra-Tiko");
    }
    return {};
}

void MainComponent::buttonClicked(juce::Button* button)
{
    // A page leaves the state alone, so the links work while a worker runs.
    if (const juce::URL page = webPageFor(button); !page.isEmpty()) {
        openWebPage(page);
        return;
    }

    // A worker may be waiting for the message thread: leave its state alone.
    // A pending quit lets nothing new reach the amplifier.
    if (stateIsBusy() || quitPending())
        return;

    if (button == initialView->actionButton.get()) {
        if (captionIs(*button, constant::k_doneButtonText))
            quitApplication();
        else if (captionIs(*button, constant::k_connectButtonText))
            changeState(std::make_unique<KovraTikoButtonPromptAppState>());
        else if (captionIs(*button, constant::k_goBackButtonText))
            changeState(std::make_unique<InitialAppState>());
        else if (captionIs(*button, constant::k_failedButtonText))
            quitApplication();
    } else if (button == connectedView->updateButton.get()) {
        changeState(std::make_unique<KovraTikoFwCheckingAppState>());
    } else if (button == connectedView->cancelButton.get()) {
        zq::DeviceManager::instance()->sendFwStatus(bootloader::kStatusToApplication);
        changeState(std::make_unique<InitialAppState>());
    } else if (button == initialView->troubleshootingLinkButton.get()) {
        changeState(std::make_unique<TroubleshootingAppState>());
    } else if (button == troubleshootingView->retryButton.get()) {
        changeState(std::make_unique<InitialAppState>());
    } else if (button == troubleshootingView->modeButton.get()) {
        changeState(std::make_unique<ConnectingAppState>(true));
    } else if (button == pythonInfoView->proceedButton.get()) {
        changeState(std::make_unique<PythonInstallingAppState>());
    } else if (button == pythonInfoView->cancelButton.get()) {
        changeState(std::make_unique<UpdateResultAppState>(workflow::kResultFailed, workflow::kPythonInstallCancelled));
    }
}
