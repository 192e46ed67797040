#include "UpdateResultAppState.h"
