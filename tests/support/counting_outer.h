// An outer object of an aggregate that counts the references and queries its inner object
// passes on to it: a contained face must forward both, the aggregate's own IUnknown neither.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace orrelin::test {

class CountingOuter : public IUnknown {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        ++queries;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        if (inner != nullptr) return inner->QueryInterface(iid, object);
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++references); }
    STDMETHOD_(ULONG, Release)() override { return static_cast<ULONG>(--references); }

    LONG references = 1;
    int queries = 0;
    // The aggregate's own IUnknown, once the test hands it over: what the outer object asks for
    // any face but IUnknown.
    IUnknown* inner = nullptr;
};

}  // namespace orrelin::test
