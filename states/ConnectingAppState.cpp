#include "ConnectingAppState.h"
