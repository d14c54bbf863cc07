/* ADSI: the published interfaces, structures, helper functions and codes. */
#ifndef QUARLIX_COMPAT_ACTIVEDS_H
#define QUARLIX_COMPAT_ACTIVEDS_H
#include "windows.h"
#include "iads.h"
#include "adshlp.h"
#include "adserr.h"
#endif
