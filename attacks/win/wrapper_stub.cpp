// Stands in for a proxy graphics or input module: a DLL that loads and does
// nothing at all.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
