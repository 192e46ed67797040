#include "AsnycBLEEventListener.h"
