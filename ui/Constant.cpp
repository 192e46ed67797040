#include "Constant.h"
