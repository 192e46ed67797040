#include "PythonInstallingAppState.h"
