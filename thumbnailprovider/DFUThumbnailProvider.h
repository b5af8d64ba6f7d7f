// DFUThumbnailProvider: the thumbnail of .dfu files. Explorer's isolated thumbnail process
// hands it a stream on the file and asks for a picture of some width; it reads the layout
// once and draws each target's memory map with the verdict as a mark.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <propsys.h>
#include <thumbcache.h>

#include "class_factory.h"
#include "handles.h"

// {75E21AA9-E4B9-4554-9E19-FEC5135C8DB5}
extern const CLSID CLSID_DFUThumbnailProvider;

class DFUThumbnailProvider : public CComObjectRootEx<CComSingleThreadModel>,
                             public CComCoClass<DFUThumbnailProvider, &CLSID_DFUThumbnailProvider>,
                             public IInitializeWithStream,
                             public IThumbnailProvider {
public:
    DFUThumbnailProvider() = default;
    DFUThumbnailProvider(const DFUThumbnailProvider&) = delete;
    DFUThumbnailProvider& operator=(const DFUThumbnailProvider&) = delete;

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;
    // The class's registry script and the extension's thumbnail entry, for the machine.
    static HRESULT WINAPI UpdateRegistry(BOOL doRegister) noexcept;
    // The same in `scope`.
    static HRESULT UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept;

    // IInitializeWithStream
    STDMETHOD(Initialize)(IStream* stream, DWORD mode) override;

    // IThumbnailProvider
    STDMETHOD(GetThumbnail)(UINT size, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) override;

private:
    orrelin::ComPtr<IStream> m_stream;
};
