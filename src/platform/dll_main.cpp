// The library's load and unload notification: every notification is
// accepted and nothing else is done.
#ifdef _WIN32
#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
