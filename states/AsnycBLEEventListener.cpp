#include "states/AsnycBLEEventListener.h"

#include "ui/MainComponent.h"

AsnycBLEEventListener::AsnycBLEEventListener(MainComponent* main, StateLifetime::Watch ownerState)
    : mainComponent(main), state(std::move(ownerState))
{
}

AsnycBLEEventListener::~AsnycBLEEventListener() { ZQBLE::clearListener(this); }

void AsnycBLEEventListener::OnProgress(int percent)
{
    const double fraction = ZQBLE::progressPercent(percent, mcuUpdateFollows) / 100.0;
    state.post([fraction](MainComponent& window) { window.progressView->setProgress(fraction); });
}

void AsnycBLEEventListener::OnComplete(int code) { result = code; }
