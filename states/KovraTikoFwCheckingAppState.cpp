#include "KovraTikoFwCheckingAppState.h"
