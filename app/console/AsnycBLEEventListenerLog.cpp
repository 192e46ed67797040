#include "app/console/AsnycBLEEventListenerLog.h"

#include "commands/ConsoleOutput.h"

namespace console {

void AsnycBLEEventListenerLog::OnProgress(int p)
{
    printLine("BT update progress " + juce::String(ZQBLE::progressPercent(p, mcuUpdateFollows)));
}

void AsnycBLEEventListenerLog::OnComplete(int c)
{
    result = c;
    printLine("BT firmware updated with result " + juce::String(c));
}

} // namespace console
