/* Declared together with the rest of the platform subset. */
#ifndef QUARLIX_COMPAT_OLE2_H
#define QUARLIX_COMPAT_OLE2_H
#include "windows.h"
#endif
