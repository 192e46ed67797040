#include "ConnectButtonLookAndFeel.h"
