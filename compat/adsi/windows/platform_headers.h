/* Every source of the stand-in is written against the platform's published
 * names; on Windows they come from these headers (mingw-w64's), taken in
 * before anything else. The Linux stand-in's windows.h declares them all at
 * once; Windows spreads them over several. */
#pragma once
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <activeds.h>
