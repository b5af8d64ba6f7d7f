// The classes this library serves: one row each.
#pragma once

#include "module.h"

extern ObjectMapEntry g_objectMap[];
