#include "class_factory.h"

#include "failure_trace.h"

CComClassFactory::~CComClassFactory()
{
    if (m_lockCreated) DeleteCriticalSection(&m_lock);
}

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (object == nullptr) return TRACE_FAILURE(E_POINTER);
    *object = nullptr;
    // An aggregate hands its outer object only its own IUnknown.
    if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) return TRACE_FAILURE(CLASS_E_NOAGGREGATION);
    return TRACE_FAILURE(m_instanceCreator(outer, iid, object));
}

STDMETHODIMP CComClassFactory::LockServer(BOOL lock)
{
    if (lock)
        g_currentModule->Lock();
    else
        g_currentModule->Unlock();
    return S_OK;
}

const InterfaceMapEntry* CComClassFactory::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&IID_IClassFactory, FaceOffset<IClassFactory, CComClassFactory>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

HRESULT CComClassFactory::Prepare(ObjectMapEntry::CreatorFunc instanceCreator) noexcept
{
    m_instanceCreator = instanceCreator;
    if (!InitializeCriticalSectionEx(&m_lock, 0, 0)) return E_OUTOFMEMORY;
    m_lockCreated = true;
    return S_OK;
}

HRESULT WINAPI CreateCachedClassFactory(void* instanceCreator, REFIID iid, void** object) noexcept
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    auto* factory = NewObject<CComObjectCached<CComClassFactory>>();
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT prepared = factory->Prepare(reinterpret_cast<ObjectMapEntry::CreatorFunc>(instanceCreator));
    if (FAILED(prepared)) {
        delete factory;
        return prepared;
    }
    return QueryNewObject(factory, iid, object);
}
