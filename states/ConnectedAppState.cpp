#include "ConnectedAppState.h"
