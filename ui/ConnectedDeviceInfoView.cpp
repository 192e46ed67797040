#include "ConnectedDeviceInfoView.h"
