#include "KovraTikoButtonPromptAppState.h"
