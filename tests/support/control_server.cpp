// A COM server that serves nothing, built as Orrelin.dll is: what loading, asking and
// freeing any DLL costs a host, the floor the lifetime soak measures Orrelin.dll against.
// It takes nothing from the C++ runtime, so none of the runtime's per-load state (which our
// DLLs must give back themselves) hides in the floor.
#include <windows.h>

STDAPI DllCanUnloadNow()
{
    return S_OK;
}

STDAPI DllGetClassObject(REFCLSID, REFIID, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
