#include "TroubleshootingAppState.h"
