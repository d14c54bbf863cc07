/* Declared together with the rest of the platform subset. */
#ifndef QUARLIX_COMPAT_OBJBASE_H
#define QUARLIX_COMPAT_OBJBASE_H
#include "windows.h"
#endif
