#include "interface_map.h"

HRESULT InterfaceMapWalk(void* object, const InterfaceMapEntry* map, REFIID iid, void** result) noexcept
{
    if (object == nullptr || map == nullptr) return E_INVALIDARG;
    if (result == nullptr) return E_POINTER;
    *result = nullptr;

    const InterfaceMapEntry* row = map;
    if (!IsEqualIID(iid, IID_IUnknown)) {
        for (; row->kind != 0; ++row)
            if (IsEqualIID(iid, *row->iid)) break;
        if (row->kind == 0) return E_NOINTERFACE;
    }
    auto* face = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + row->offset);
    face->AddRef();
    *result = face;
    return S_OK;
}
