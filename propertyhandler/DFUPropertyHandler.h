// DFUPropertyHandler: the property handler of .dfu files. Explorer's Details view and pane
// and the indexer hand it a stream on the file; it reads the layout once and answers a
// read-only store of the file's properties.
#pragma once

#include <windows.h>
#include <propsys.h>

#include <vector>

#include "class_factory.h"
#include "dfu_properties.h"

// {49905783-1DB4-42B7-A70D-BC5B64A13E5C}
extern const CLSID CLSID_DFUPropertyHandler;

class DFUPropertyHandler : public CComObjectRootEx<CComSingleThreadModel>,
                           public CComCoClass<DFUPropertyHandler, &CLSID_DFUPropertyHandler>,
                           public IInitializeWithStream,
                           public IPropertyStore,
                           public IPropertyStoreCapabilities {
public:
    DFUPropertyHandler() = default;
    DFUPropertyHandler(const DFUPropertyHandler&) = delete;
    DFUPropertyHandler& operator=(const DFUPropertyHandler&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;
    // The class's registry script, the handler entry of .dfu and the property schema, for
    // the machine.
    static HRESULT WINAPI UpdateRegistry(BOOL doRegister) noexcept;
    // The same in `scope`.
    static HRESULT UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept;

    // IInitializeWithStream
    STDMETHOD(Initialize)(IStream* stream, DWORD mode) override;

    // IPropertyStore
    STDMETHOD(GetCount)(DWORD* count) override;
    STDMETHOD(GetAt)(DWORD index, PROPERTYKEY* key) override;
    STDMETHOD(GetValue)(REFPROPERTYKEY key, PROPVARIANT* value) override;
    STDMETHOD(SetValue)(REFPROPERTYKEY key, REFPROPVARIANT value) override;
    STDMETHOD(Commit)() override;

    // IPropertyStoreCapabilities
    STDMETHOD(IsPropertyWritable)(REFPROPERTYKEY key) override;

private:
    bool m_initialized = false;
    std::vector<orrelin::DfuProperty> m_properties;
};
