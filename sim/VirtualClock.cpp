#include "VirtualClock.h"
