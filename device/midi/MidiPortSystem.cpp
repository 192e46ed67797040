#include "device/midi/MidiPortSystem.h"

#include <mutex>

namespace zq {

namespace {

class NoMidiPorts : public MidiPortSystem {
public:
    juce::StringArray inputNames() override { return {}; }
    juce::StringArray outputNames() override { return {}; }
    std::unique_ptr<MidiInputPort> openInput(int, MidiInputPortCallback*) override { return nullptr; }
    std::unique_ptr<MidiOutputPort> openOutput(int) override { return nullptr; }
};

struct CurrentSystem {
    std::mutex mutex;
    std::shared_ptr<MidiPortSystem> system = std::make_shared<NoMidiPorts>();
};

CurrentSystem& current()
{
    static CurrentSystem holder;
    return holder;
}

} // namespace

std::shared_ptr<MidiPortSystem> midiPortSystem()
{
    CurrentSystem& c = current();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.system;
}

void setMidiPortSystem(std::shared_ptr<MidiPortSystem> system)
{
    CurrentSystem& c = current();
    std::shared_ptr<MidiPortSystem> previous;
    std::lock_guard<std::mutex> lock(c.mutex);
    previous = std::move(c.system);
    c.system = system ? std::move(system) : std::make_shared<NoMidiPorts>();
}

} // namespace zq
