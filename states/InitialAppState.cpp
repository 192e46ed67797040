#include "InitialAppState.h"
