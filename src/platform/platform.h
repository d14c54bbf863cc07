// The only place that knows which platform the procedure is built for. On
// Windows it takes the real headers (mingw-w64's); on Linux the stand-ins
// under compat/ declare the same names with the same shapes.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <activeds.h>
#include <srv.h>
// UTF-16 literals: WCHAR is wchar_t on Windows.
#define QX_WIDE(text) L##text
#else
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <activeds.h>
#include <srv.h>
// UTF-16 literals: WCHAR is char16_t on Linux.
#define QX_WIDE(text) u##text
#endif

#include <cstdint>

// Results of the procedure entry.
constexpr int XP_NOERROR = 0;
constexpr int XP_ERROR = 1;
