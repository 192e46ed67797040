#include "PythonInstallInfoView.h"
