// Interface maps: the table of an object's faces and the one walk that answers
// QueryInterface from it.
#pragma once

#include <windows.h>
#include <objbase.h>

// A row of an interface map: the interface, the offset of its face within the object, and
// 1 for a plain face row. A row whose kind is 0 ends the map.
struct InterfaceMapEntry {
    const IID* iid;
    DWORD_PTR offset;
    DWORD_PTR kind;
};

constexpr DWORD_PTR kPlainFaceRow = 1;

// Offset of the Base face within a Derived object.
template <class Base, class Derived>
DWORD_PTR FaceOffset() noexcept
{
    constexpr DWORD_PTR probe = 0x1000;
    return reinterpret_cast<DWORD_PTR>(static_cast<Base*>(reinterpret_cast<Derived*>(probe))) - probe;
}

// IUnknown is answered from the first row, giving every object one identity; any other
// identifier is compared whole with each row in map order.
HRESULT InterfaceMapWalk(void* object, const InterfaceMapEntry* map, REFIID iid, void** result) noexcept;
