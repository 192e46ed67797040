#include "TroubleshootingPageView.h"
