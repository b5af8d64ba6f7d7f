// The generic COM machinery behind every object of the library: reference-count roots for
// the two threading models, the interface-map walk, the stand-alone, aggregated and cached
// wrappers, and the creators the object map calls.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <new>

#include "interface_map.h"
#include "module.h"

// Written into a count as the first step of destruction, so that reference changes made
// while the object is being destroyed cannot bring it back to 0.
constexpr LONG kDestructionMarker = -0x3FFFFFFF;  // 0xC0000001

struct CComSingleThreadModel {
    static LONG Increment(LONG* value) noexcept { return ++*value; }
    static LONG Decrement(LONG* value) noexcept { return --*value; }
};

struct CComMultiThreadModel {
    static LONG Increment(LONG* value) noexcept { return InterlockedIncrement(value); }
    static LONG Decrement(LONG* value) noexcept { return InterlockedDecrement(value); }
};

class CComObjectRootBase {
public:
    CComObjectRootBase() noexcept : m_refCount(0) {}

    // A stand-alone object counts its own references; a contained one stores its outer
    // object in the same place and forwards to it.
    union {
        LONG m_refCount;
        IUnknown* m_outer;
    };

    ULONG OuterAddRef() noexcept { return m_outer->AddRef(); }
    ULONG OuterRelease() noexcept { return m_outer->Release(); }
    HRESULT OuterQueryInterface(REFIID iid, void** object) noexcept { return m_outer->QueryInterface(iid, object); }
};

template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
public:
    using ThreadModelType = ThreadModel;
    LONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_refCount); }
    LONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_refCount); }
};

// The stand-alone wrapper: every face's IUnknown operations lead to this one object.
template <class Base>
class CComObject : public Base {
public:
    CComObject() { g_currentModule->Lock(); }

    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(this->InternalAddRef()); }
    STDMETHOD_(ULONG, Release)() override
    {
        const LONG count = this->InternalRelease();
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        return InterfaceMapWalk(static_cast<Base*>(this), Base::GetInterfaceMap(), iid, object);
    }

    // Destroy-and-free.
    virtual ~CComObject()
    {
        this->m_refCount = kDestructionMarker;
        g_currentModule->Unlock();
    }
};

// The object inside an aggregate: its faces' IUnknown operations go to the outer object.
template <class Base>
class CComContainedObject : public Base {
public:
    explicit CComContainedObject(IUnknown* outer) noexcept { this->m_outer = outer; }

    STDMETHOD_(ULONG, AddRef)() override { return this->OuterAddRef(); }
    STDMETHOD_(ULONG, Release)() override { return this->OuterRelease(); }
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override { return this->OuterQueryInterface(iid, object); }
};

// The aggregated wrapper: its own, non-forwarding IUnknown and the contained object.
template <class Contained>
class CComAggObject : public IUnknown, public CComObjectRootEx<typename Contained::ThreadModelType> {
public:
    explicit CComAggObject(IUnknown* outer) : m_contained(outer) { g_currentModule->Lock(); }

    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(this->InternalAddRef()); }
    STDMETHOD_(ULONG, Release)() override
    {
        const LONG count = this->InternalRelease();
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            AddRef();
            *object = static_cast<IUnknown*>(this);
            return S_OK;
        }
        return InterfaceMapWalk(static_cast<Contained*>(&m_contained), Contained::GetInterfaceMap(), iid, object);
    }

    virtual ~CComAggObject()
    {
        this->m_refCount = kDestructionMarker;
        g_currentModule->Unlock();
    }

    CComContainedObject<Contained> m_contained;
};

// A class object held by the object map: its module lock follows the count's 1->2 and 2->1
// transitions, so the map's own reference never locks the module and any number of client
// references hold exactly one lock.
template <class Base>
class CComObjectCached : public Base {
public:
    STDMETHOD_(ULONG, AddRef)() override
    {
        const LONG count = this->InternalAddRef();
        if (count == 2) g_currentModule->Lock();
        return static_cast<ULONG>(count);
    }
    STDMETHOD_(ULONG, Release)() override
    {
        const LONG count = this->InternalRelease();
        if (count == 0)
            delete this;
        else if (count == 1)
            g_currentModule->Unlock();
        return static_cast<ULONG>(count);
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        return InterfaceMapWalk(static_cast<Base*>(this), Base::GetInterfaceMap(), iid, object);
    }

    virtual ~CComObjectCached() { this->m_refCount = kDestructionMarker; }
};

// Allocation that reports failure as null whether the allocator returns null or throws.
template <class T, class... Args>
T* NewObject(Args&&... args) noexcept
{
    try {
        return new (std::nothrow) T(static_cast<Args&&>(args)...);
    } catch (...) {
        return nullptr;
    }
}

// Hands out the requested face of a new object (count 0); without it, the object is
// destroyed again.
template <class T>
HRESULT QueryNewObject(T* object, REFIID iid, void** result) noexcept
{
    const HRESULT hr = object->QueryInterface(iid, result);
    if (hr != S_OK) delete object;
    return hr;
}
