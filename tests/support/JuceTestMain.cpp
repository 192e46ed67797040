// The main of test programs that use the framework without a fixture of
// their own to set it up: it is set up for the whole run and shut down at
// its end, as in an application, so that its singletons (the font caches
// among them) are gone before the program's statics.
#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const juce::ScopedJuceInitialiser_GUI framework;
    return RUN_ALL_TESTS();
}
