#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <chrono>
#include <vector>

// When a component was shown and hidden, timed inside the call that changed
// it (the listener runs synchronously in setVisible), so a wait that the
// product starts or ends there is timed from its own moment rather than from
// when a test's polling loop next looks. Message thread only.
class VisibilityTimes : private juce::ComponentListener {
public:
    using Clock = std::chrono::steady_clock;

    explicit VisibilityTimes(juce::Component& c) : component(&c) { component->addComponentListener(this); }
    ~VisibilityTimes() override
    {
        if (component != nullptr)
            component->removeComponentListener(this);
    }
    VisibilityTimes(const VisibilityTimes&) = delete;
    VisibilityTimes& operator=(const VisibilityTimes&) = delete;

    std::vector<Clock::time_point> shown;
    std::vector<Clock::time_point> hidden;

private:
    void componentVisibilityChanged(juce::Component& c) override
    {
        (c.isVisible() ? shown : hidden).push_back(Clock::now());
    }

    juce::Component::SafePointer<juce::Component> component;
};
