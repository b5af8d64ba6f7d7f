// The class factory the object map caches, and the class-level creators of CComCoClass.
#pragma once

#include "com_object.h"

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
public:
    CComClassFactory() noexcept = default;
    virtual ~CComClassFactory();
    CComClassFactory(const CComClassFactory&) = delete;
    CComClassFactory& operator=(const CComClassFactory&) = delete;

    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHOD(LockServer)(BOOL lock) override;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;

    // Keeps the instance creator and creates the factory's lock; E_OUTOFMEMORY when the
    // lock cannot be created.
    HRESULT Prepare(ObjectMapEntry::CreatorFunc instanceCreator) noexcept;

private:
    CRITICAL_SECTION m_lock;  // created and deleted with the factory, never entered
    bool m_lockCreated = false;
    ObjectMapEntry::CreatorFunc m_instanceCreator = nullptr;
};

// The class-object creator of every class: a new cached class factory for `instanceCreator`.
HRESULT WINAPI CreateCachedClassFactory(void* instanceCreator, REFIID iid, void** object) noexcept;

template <class T, const CLSID* ClassId>
class CComCoClass {
public:
    static const CLSID& WINAPI GetObjectCLSID() noexcept { return *ClassId; }

    // The instance creator: stand-alone without an outer object, aggregated with one.
    static HRESULT WINAPI CreateInstance(void* outer, REFIID iid, void** object) noexcept
    {
        return outer == nullptr ? CreateStandalone(iid, object)
                                : CreateAggregated(static_cast<IUnknown*>(outer), iid, object);
    }

    static HRESULT WINAPI CreateStandalone(REFIID iid, void** object) noexcept
    {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        auto* instance = NewObject<CComObject<T>>();
        if (instance == nullptr) return E_OUTOFMEMORY;
        return QueryNewObject(instance, iid, object);
    }

    static HRESULT WINAPI CreateAggregated(IUnknown* outer, REFIID iid, void** object) noexcept
    {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        auto* aggregate = NewObject<CComAggObject<T>>(outer);
        if (aggregate == nullptr) return E_OUTOFMEMORY;
        return QueryNewObject(aggregate, iid, object);
    }

    static const wchar_t* WINAPI GetObjectDescription() noexcept { return nullptr; }
    static const CategoryMapEntry* WINAPI GetCategoryMap() noexcept { return nullptr; }
    static void WINAPI ObjectMain(bool) noexcept {}
};

// The object map entry of a class T that derives from CComCoClass.
template <class T>
ObjectMapEntry ObjectMapEntryFor() noexcept
{
    return ObjectMapEntry{&T::GetObjectCLSID(),
                          &T::UpdateRegistry,
                          &CreateCachedClassFactory,
                          &T::CreateInstance,
                          nullptr,
                          0,
                          &T::GetObjectDescription,
                          &T::GetCategoryMap,
                          &T::ObjectMain};
}

constexpr ObjectMapEntry kObjectMapEnd{};

// The scoped registration of the same class T.
template <class T>
ClassRegistration ClassRegistrationFor() noexcept
{
    return ClassRegistration{&T::GetObjectCLSID(), &T::UpdateRegistryIn, &T::GetCategoryMap};
}

constexpr ClassRegistration kClassRegistrationEnd{};
