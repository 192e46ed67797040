#include "NimbalGenericButtonLookAndFeel.h"
