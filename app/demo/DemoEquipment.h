#pragma once

#include "SimulatedAmplifier.h"
#include "SimulatedMidiPorts.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The demo's stand-in for the hardware: simulated Kovra TIKO amplifiers on
// simulated MIDI ports, installed as the program's MIDI system, and the
// outside programs of the Python check, all set up from environment
// variables (see the README):
//   KOVRA_DEMO_AMPLIFIERS   number of amplifiers plugged in (1)
//   KOVRA_DEMO_KEYBOARD     1: a MIDI keyboard is plugged in too
//   KOVRA_DEMO_SPEEDUP      runs every fixed wait this many times faster (1)
//   KOVRA_DEMO_FW_STATUS    the amplifiers' "RetFwStatus" status (1)
//   KOVRA_DEMO_REFUSE_CHUNK the first amplifier refuses this chunk once
//   KOVRA_DEMO_RESET_FAIL   "bt" or "mcu": that factory reset is refused
//   KOVRA_DEMO_COMMAND_ROOT the folder whose bin/ln, bin/osascript,
//                           usr/bin/python and usr/local/bin/python stand in
//                           for the real ones
//   KOVRA_DEMO_REPORT       a file that gets, at exit, one line per
//                           amplifier with what it received
//   KOVRA_DEMO_MODEL        the amplifiers' model name ("Kovra TIKO")
//   KOVRA_DEMO_MCU_VERSION  their MCU version, a.b.c.d (1.11.2.75, the latest)
//   KOVRA_DEMO_BT_VERSION   their Bluetooth version ("0107", the bundle's)
//   KOVRA_DEMO_PLUG_AFTER_MS the amplifiers are plugged in this long after
//                           the start (0: from the start), so that the
//                           window's first pages can be clicked through
class DemoEquipment {
public:
    DemoEquipment();
    ~DemoEquipment();

    void writeReport() const;

private:
    void plugAmplifiers();

    std::vector<std::unique_ptr<sim::SimulatedAmplifier>> amplifiers;
    std::shared_ptr<sim::SimulatedMidiPorts> ports;
    // The late plug-in; ends early when the program ends first.
    std::thread plugger;
    std::mutex plugMutex;
    std::condition_variable plugCancelled;
    bool ending = false;
};
