#include "DeviceInfoEditView.h"
