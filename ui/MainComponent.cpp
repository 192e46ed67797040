#include "MainComponent.h"
