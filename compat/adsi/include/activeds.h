/* ADSI: the published interfaces, structures, helper functions and codes. */
#pragma once
#include "windows.h"
#include "iads.h"
#include "adshlp.h"
#include "adserr.h"
