/* How the stand-in's ADSI headers mark what libactiveds.so exports (the
 * library is built with hidden visibility). */
#pragma once

#ifndef ADSI_COMPAT_API
#if defined(__GNUC__)
#define ADSI_COMPAT_API __attribute__((visibility("default")))
#else
#define ADSI_COMPAT_API
#endif
#endif
