#include "AsnycBLEEventListener.h"

#include "MainComponent.h"

AsnycBLEEventListener::AsnycBLEEventListener(MainComponent* main)
    : mainComponent(main), window(main)
{
}

AsnycBLEEventListener::~AsnycBLEEventListener()
{
    ZQBLE::clearListener(this);
}

void AsnycBLEEventListener::OnProgress(int percent)
{
    const double fraction = ZQBLE::progressPercent(percent, mcuUpdateFollows) / 100.0;
    auto target = window;
    juce::MessageManager::callAsync([target, fraction] {
        if (MainComponent* main = target.getComponent())
            main->progressView->setProgress(fraction);
    });
}

void AsnycBLEEventListener::OnComplete(int code)
{
    result = code;
}
