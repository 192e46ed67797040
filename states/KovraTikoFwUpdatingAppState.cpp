#include "KovraTikoFwUpdatingAppState.h"
