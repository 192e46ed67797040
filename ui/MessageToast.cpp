#include "MessageToast.h"
