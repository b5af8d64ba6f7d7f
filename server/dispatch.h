// The automation face: IDispatch answered from the registered type library, with the type
// description and a name cache shared by every object of the class.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "failure_trace.h"
#include "module.h"

struct NameCacheEntry {
    BSTR name;      // null when it could not be fetched
    int length;     // characters of name; 0 when absent
    DISPID dispid;  // -1 when absent
};

// One static holder per automation interface; zero-initialised apart from its identity.
class CComTypeInfoHolder {
public:
    const GUID* m_interfaceId;
    const GUID* m_libraryId;
    WORD m_majorVersion;
    WORD m_minorVersion;
    ITypeInfo* m_typeInfo;  // one reference once loaded
    long m_refCount;        // not changed by this library
    NameCacheEntry* m_nameCache;
    int m_nameCount;

    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept;
    HRESULT Invoke(IDispatch* instance, DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept;

    // Loads the type description from the registered type library (never from the file)
    // and builds the name cache, under the module data lock.
    HRESULT LoadTypeInfo(LCID lcid) noexcept;
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
        if (count == nullptr) return TRACE_FAILURE(E_POINTER);
        *count = 1;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override
    {
        return TRACE_FAILURE(s_typeInfo.GetTypeInfo(index, lcid, info));
    }
    STDMETHOD(GetIDsOfNames)(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override
    {
        return TRACE_FAILURE(s_typeInfo.GetIDsOfNames(iid, names, count, lcid, ids));
    }
    STDMETHOD(Invoke)
    (DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
     UINT* argumentError) override
    {
        return TRACE_FAILURE(s_typeInfo.Invoke(static_cast<IDispatch*>(this), id, iid, lcid, flags, params, result,
                                               exception, argumentError));
    }

    static Holder s_typeInfo;
};

template <class T, const IID* InterfaceId, const GUID* LibraryId, WORD Major, WORD Minor, class Holder>
Holder IDispatchImpl<T, InterfaceId, LibraryId, Major, Minor, Holder>::s_typeInfo = {
    InterfaceId, LibraryId, Major, Minor, nullptr, 0, nullptr, 0};
