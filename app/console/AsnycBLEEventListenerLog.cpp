#include "AsnycBLEEventListenerLog.h"

#include "ConsoleOutput.h"

namespace console {

void AsnycBLEEventListenerLog::OnProgress(int p)
{
    int v = p;
    if (mcuUpdateFollows)
        v = (p <= 79 ? p : p - 20) / 2;
    printLine("BT update progress " + juce::String(v));
}

void AsnycBLEEventListenerLog::OnComplete(int c)
{
    result = c;
    printLine("BT firmware updated with result " + juce::String(c));
}

} // namespace console
