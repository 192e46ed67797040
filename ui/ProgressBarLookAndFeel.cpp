#include "ProgressBarLookAndFeel.h"
