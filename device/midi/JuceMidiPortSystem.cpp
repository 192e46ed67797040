#include "device/midi/JuceMidiPortSystem.h"

#include <juce_audio_devices/juce_audio_devices.h>

#if defined(__linux__) && __has_include(<alsa/asoundlib.h>)
#include <alsa/asoundlib.h>
#define KOVRA_HAVE_ALSA 1
#endif

namespace zq {

// Serialises the calls that may create or drop JUCE's shared ALSA client
// (listing, opening, closing, sending): it is not safe for two threads. Never
// taken in stop(), which runs inside JUCE's input callback while a closing
// thread may be waiting for that callback.
struct JuceMidiPortSystem::Shared {
    std::mutex mutex;
};

namespace {

#if KOVRA_HAVE_ALSA
void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif

void silenceAlsa()
{
#if KOVRA_HAVE_ALSA
    snd_lib_error_set_handler(&silentAlsaError);
#endif
}

class JuceInputPort : public MidiInputPort, private juce::MidiInputCallback {
public:
    JuceInputPort(std::shared_ptr<JuceMidiPortSystem::Shared> s, MidiInputPortCallback* cb)
        : shared(std::move(s)), callback(cb)
    {
    }

    ~JuceInputPort() override
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        input.reset();
    }

    bool open(const juce::String& identifier)
    {
        input = juce::MidiInput::openDevice(identifier, this);
        return input != nullptr;
    }

    void start() override
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        input->start();
    }

    void stop() override { input->stop(); }

private:
    void handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage& message) override
    {
        callback->handleIncomingMidiMessage(this, message);
    }

    std::shared_ptr<JuceMidiPortSystem::Shared> shared;
    MidiInputPortCallback* callback;
    std::unique_ptr<juce::MidiInput> input;
};

class JuceOutputPort : public MidiOutputPort {
public:
    JuceOutputPort(std::shared_ptr<JuceMidiPortSystem::Shared> s, std::unique_ptr<juce::MidiOutput> o)
        : shared(std::move(s)), output(std::move(o))
    {
    }

    ~JuceOutputPort() override
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        output.reset();
    }

    bool sendMessageNow(const juce::MidiMessage& message) override
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        output->sendMessageNow(message);
        return true;
    }

private:
    std::shared_ptr<JuceMidiPortSystem::Shared> shared;
    std::unique_ptr<juce::MidiOutput> output;
};

juce::StringArray namesOf(const juce::Array<juce::MidiDeviceInfo>& devices)
{
    juce::StringArray names;
    for (const auto& d : devices)
        names.add(d.name);
    return names;
}

} // namespace

JuceMidiPortSystem::JuceMidiPortSystem() : shared(std::make_shared<Shared>()) { silenceAlsa(); }

juce::StringArray JuceMidiPortSystem::inputNames()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    return namesOf(juce::MidiInput::getAvailableDevices());
}

juce::StringArray JuceMidiPortSystem::outputNames()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    return namesOf(juce::MidiOutput::getAvailableDevices());
}

std::unique_ptr<MidiInputPort> JuceMidiPortSystem::openInput(int index, MidiInputPortCallback* callback)
{
    if (callback == nullptr)
        return nullptr;
    auto port = std::make_unique<JuceInputPort>(shared, callback);
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        const auto devices = juce::MidiInput::getAvailableDevices();
        if (index < 0 || index >= devices.size() || !port->open(devices.getReference(index).identifier))
            return nullptr;
    }
    return port;
}

std::unique_ptr<MidiOutputPort> JuceMidiPortSystem::openOutput(int index)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    const auto devices = juce::MidiOutput::getAvailableDevices();
    if (index < 0 || index >= devices.size())
        return nullptr;
    auto output = juce::MidiOutput::openDevice(devices.getReference(index).identifier);
    if (!output)
        return nullptr;
    return std::make_unique<JuceOutputPort>(shared, std::move(output));
}

void installJuceMidiPorts() { setMidiPortSystem(std::make_shared<JuceMidiPortSystem>()); }

} // namespace zq
