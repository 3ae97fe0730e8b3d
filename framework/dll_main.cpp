// The Windows loader calls this on load, unload and each thread's start and end. Every
// instance is created by the entry point and nothing is global, so there is nothing to set
// up or tear down: report success to every notification.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
