#pragma once

#include "app/demo/DemoAmplifier.h"
#include "app/demo/DemoCommandRoot.h"
#include "simamp/ports/SimulatedMidiPorts.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The demo's stand-in for the hardware: simulated Kovra TIKO amplifiers on
// simulated MIDI ports, installed as the program's MIDI system, and the
// outside programs of the Python check (DemoCommandRoot), all set up from
// environment variables (see docs/demo.md):
//   KOVRA_DEMO_AMPLIFIERS   number of amplifiers plugged in (1)
//   KOVRA_DEMO_KEYBOARD     1: a MIDI keyboard is plugged in too
//   KOVRA_DEMO_SPEEDUP      runs every wait this many times faster (1): the
//                           program's, the amplifiers', the fake installer's
//                           and the Bluetooth library's download
//   KOVRA_DEMO_FW_STATUS    the amplifiers' "RetFwStatus" status (1)
//   KOVRA_DEMO_REFUSE_CHUNK the first amplifier refuses this chunk once
//   KOVRA_DEMO_REFUSE_TIMES ... or this many times (1)
//   KOVRA_DEMO_ANSWER_TWICE 1: the first amplifier answers each "WriteFlash"
//                           twice
//   KOVRA_DEMO_SILENT_FROM_CHUNK from this chunk on the first amplifier
//                           writes and answers no "WriteFlash"
//   KOVRA_DEMO_BATT_STATUS_MS the first amplifier sends "RetBattStatus" this
//                           often (product ms), from the start to the end
//   KOVRA_DEMO_RESET_FAIL   "bt" or "mcu": that factory reset is refused
//   KOVRA_DEMO_COMMAND_ROOT, KOVRA_DEMO_PYTHON, KOVRA_DEMO_INSTALLER
//                           the Python commands (DemoCommandRoot.h)
//   KOVRA_DEMO_REPORT       a file that gets, at exit, one line per
//                           amplifier with what it received
//   KOVRA_DEMO_MODEL        the amplifiers' model name ("Kovra TIKO")
//   KOVRA_DEMO_SERIAL       their serial number (KT10A2410001, ...02, ...)
//   KOVRA_DEMO_MCU_VERSION  their MCU version, a.b.c.d (1.11.2.75, the latest)
//   KOVRA_DEMO_BT_VERSION   their Bluetooth version ("0107", the bundle's)
//   KOVRA_DEMO_PLUG_AFTER_MS the amplifiers are plugged in this long after
//                           the start (0: from the start), so that the
//                           window's first pages can be clicked through
//   KOVRA_DEMO_OPENS        the first amplifier's ports open this many times
//                           in all (inputs and outputs), then no more
//   KOVRA_DEMO_BT_UPDATE_MS how long an amplifier in Bluetooth update mode
//                           is away from USB (10000)
//   KOVRA_DEMO_RETURN_LAST  1: an amplifier that leaves USB and comes back is
//                           listed after every other device, so two of them
//                           come back in the other order
//   KOVRA_DEMO_UNPLUG_AFTER_CHUNKS the first amplifier is pulled out for good
//                           once this many chunks are written
//   KOVRA_DEMO_REFUSE_BT_MODE 1: sending "SetFwStatus" 02 fails
//   KOVRA_DEMO_IDENTITY_REPLY_SID the amplifiers answer the model-name and
//                           serial-number queries under this session id
//   KOVRA_DEMO_INFO_PAYLOAD their "RetFwInfo" carries only this many bytes of
//                           its packed block (106)
//   KOVRA_DEMO_BUSY_RETURN  1: when the fake installer starts, the first
//                           amplifier leaves USB for 5 s and comes back with
//                           ports that open only for two probes
//   KOVRA_DEMO_NO_FLOCK     ENOLCK, ENOSYS or EOPNOTSUPP: every lock of the
//                           cache folders fails so, as on a file system
//                           without working flock
//   KOVRA_DEMO_BOOTLOADER_NO_PROBE 1: in their bootloader the amplifiers do
//                           not answer the probe
//   KOVRA_DEMO_BOOTLOADER_NAME the first amplifier's ports have this name
//                           while it is in its bootloader
//   KOVRA_DEMO_KEYBOARD_LEAVES 1: the keyboard is pulled out whenever the
//                           first amplifier restarts into or out of its
//                           bootloader
//   KOVRA_DEMO_SWAP_IN_BOOTLOADER 1: the first amplifier, restarting into
//                           its bootloader, does not come back; another one,
//                           in its bootloader, comes under the same names and
//                           is reported last
class DemoEquipment {
public:
    DemoEquipment();
    ~DemoEquipment();

    void writeReport() const;

private:
    void plugAmplifiers();
    void keyboardLeavesWithTheFirst();
    void returnBusyDuringInstallation(std::unique_lock<std::mutex>& lock);
    // Waits `ms` product milliseconds; false when the program ends first.
    bool pause(std::unique_lock<std::mutex>& lock, std::uint32_t ms);

    std::unique_ptr<DemoCommandRoot> commands;
    std::vector<std::unique_ptr<DemoAmplifier>> amplifiers;
    // The amplifier that takes the first one's place (KOVRA_DEMO_SWAP_IN_BOOTLOADER).
    std::unique_ptr<DemoAmplifier> standIn;
    std::vector<sim::SimulatedMidiPorts::Device> plugged;
    sim::SimulatedMidiPorts::Device keyboard = -1;
    std::shared_ptr<sim::SimulatedMidiPorts> ports;
    // The late plug-in and the busy return; ends early when the program
    // ends first.
    std::thread timeline;
    // The first amplifier's "RetBattStatus" messages.
    std::thread battery;
    std::mutex timelineMutex;
    std::condition_variable ended;
    bool ending = false;
};
