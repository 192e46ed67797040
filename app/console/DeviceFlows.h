#pragma once

namespace console {

// "--reset": factory-resets the Bluetooth module, then the MCU.
void runResetFlow();

// "--bt": Bluetooth update mode, then the module's update through the library.
void runBluetoothFlow();

} // namespace console
