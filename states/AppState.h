#pragma once

#include <chrono>
#include <future>

class MainComponent;

// One step of the window's workflow. `apply` is const and may still store
// what it starts, so a state's members are mutable; a state with a worker
// keeps its future in `worker`, and destroying the state waits for it.
class AppState {
public:
    virtual ~AppState() = default;
    virtual void apply(MainComponent* main) const = 0;

    // Whether a worker of this state is still running.
    virtual bool isBusy() const { return false; }
    // Whether entering it starts no worker and no polling and sends nothing
    // to the amplifier: the only states that a pending quit still lets in.
    virtual bool entersQuietly() const { return false; }

protected:
    static bool running(const std::future<void>& worker)
    {
        return worker.valid() && worker.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
    }
};
