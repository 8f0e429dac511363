#pragma once
// The code-page table moved below the Qt layers, beside the group-file reader that needs it.
#include "app/core/Cp1252.h"
