#include "UrlButtonLookAndFeel.h"
