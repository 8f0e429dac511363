#pragma once
// The clock moved below the Qt layers, beside the group file that stamps its changes with it.
#include "app/core/Clock.h"
