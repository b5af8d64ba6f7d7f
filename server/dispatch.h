// The automation face: IDispatch answered from the registered type library, with the type
// description and a name cache shared by every object of the class.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "module.h"

struct NameCacheEntry {
    BSTR name;      // null when it could not be fetched
    int length;     // characters of name; 0 when absent
    DISPID dispid;  // -1 when absent
};

// One static holder per automation interface; zero-initialised apart from its identity.
class CComTypeInfoHolder {
public:
    const GUID* m_pguid;
    const GUID* m_plibid;
    WORD m_wMajor;
    WORD m_wMinor;
    ITypeInfo* m_pInfo;   // one reference once loaded
    long m_dwRef;         // not changed by this library
    NameCacheEntry* m_pMap;
    int m_nCount;

    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept;
    HRESULT Invoke(IDispatch* instance, DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept;

    // Loads the type description from the registered type library (never from the file)
    // and builds the name cache, under the module data lock.
    HRESULT GetTI(LCID lcid) noexcept;
    HRESULT LoadNameCache(ITypeInfo* info) noexcept;

    // Run by module termination: releases the type description and the name cache.
    static void WINAPI Cleanup(DWORD_PTR holder) noexcept;
};

template <class T, const IID* InterfaceId, const GUID* LibraryId, WORD Major, WORD Minor,
          class Holder = CComTypeInfoHolder>
class IDispatchImpl : public T {
public:
    STDMETHOD(GetTypeInfoCount)(UINT* count) override
    {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override
    {
        return _tih.GetTypeInfo(index, lcid, info);
    }
    STDMETHOD(GetIDsOfNames)(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override
    {
        return _tih.GetIDsOfNames(iid, names, count, lcid, ids);
    }
    STDMETHOD(Invoke)(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argumentError) override
    {
        return _tih.Invoke(static_cast<IDispatch*>(this), id, iid, lcid, flags, params, result, exception,
                           argumentError);
    }

    static Holder _tih;
};

template <class T, const IID* InterfaceId, const GUID* LibraryId, WORD Major, WORD Minor, class Holder>
Holder IDispatchImpl<T, InterfaceId, LibraryId, Major, Minor, Holder>::_tih = {
    InterfaceId, LibraryId, Major, Minor, nullptr, 0, nullptr, 0};

// Finds and loads the type library a module carries: the module file itself, else a .tlb
// of the same name beside it. On success `path` holds the path that was loaded.
HRESULT LoadTypeLibraryOfModule(HINSTANCE module, BSTR* path, ITypeLib** library) noexcept;
