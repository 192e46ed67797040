#include "app/NimbalFwUpgradeLauncherApplication.h"
#include "app/demo/DemoEquipment.h"

// The product with simulated hardware: same libraries, same command line.
namespace {
juce::JUCEApplicationBase* createApplication() { return new NimbalFwUpgradeLauncherApplication(); }
} // namespace

int main(int argc, char* argv[])
{
    DemoEquipment equipment;
    juce::JUCEApplicationBase::createInstance = &createApplication;
    const int status = juce::JUCEApplicationBase::main(argc, const_cast<const char**>(argv));
    equipment.writeReport();
    return status;
}
