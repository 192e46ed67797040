#include "InitialDeviceInfoView.h"
