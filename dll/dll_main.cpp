#include <windows.h>

#include "application_base.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return orrelin::ApplicationProcessAttach(instance) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        orrelin::ApplicationProcessDetach();
        return TRUE;
    default:
        return TRUE;
    }
}
