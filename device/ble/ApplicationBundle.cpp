#include "device/ble/ApplicationBundle.h"

#include <mutex>

namespace {

std::mutex g_overrideMutex;
juce::File g_override;

juce::File executableOverride()
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    return g_override;
}

} // namespace

juce::File ApplicationBundle::executable()
{
    const juce::File overridden = executableOverride();
    if (overridden != juce::File())
        return overridden;
#if JUCE_MAC
    return juce::File::getSpecialLocation(juce::File::currentExecutableFile);
#else
    return juce::File::getSpecialLocation(juce::File::hostApplicationPath);
#endif
}

juce::File ApplicationBundle::folder()
{
#if JUCE_MAC
    if (executableOverride() == juce::File())
        return juce::File::getSpecialLocation(juce::File::currentApplicationFile);
#endif
    return executable().getParentDirectory();
}

juce::File ApplicationBundle::contents() { return folder().getChildFile("Contents"); }

juce::File ApplicationBundle::helpers() { return contents().getChildFile("Helpers"); }

juce::File ApplicationBundle::resources() { return contents().getChildFile("Resources"); }

juce::File ApplicationBundle::pythonPackage() { return resources().getChildFile("python-2.7.18.pkg"); }

void ApplicationBundle::setExecutableForTests(const juce::File& file)
{
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_override = file;
}
