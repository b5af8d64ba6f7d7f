// The classes this library serves: one row each.
#pragma once

#include "module.h"

extern ObjectMapEntry g_objectMap[];
// The same classes, in the same order, for a registration in a given scope.
extern const ClassRegistration g_classRegistrations[];
