#include "FirmwareUpdateProgressView.h"
