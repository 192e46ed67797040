#include "AsnycBLEEventListener.h"

#include "MainComponent.h"

AsnycBLEEventListener::AsnycBLEEventListener(MainComponent* mainComponent)
    : mainComponent(mainComponent), window(mainComponent)
{
}

AsnycBLEEventListener::~AsnycBLEEventListener()
{
    ZQBLE::clearListener(this);
}

int AsnycBLEEventListener::barPercent(int p, bool mcuUpdateFollows)
{
    if (!mcuUpdateFollows)
        return p;
    const int q = p <= 79 ? p : p - 20;
    return q / 2;
}

void AsnycBLEEventListener::OnProgress(int percent)
{
    const double fraction = barPercent(percent, mcuUpdateFollows) / 100.0;
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
