// DFUPreviewHandler: the preview handler of .dfu files. Explorer's preview pane hands it a
// stream on the selected file and a window; it reads the layout once and draws the file's
// header and memory map into a child window of its own until it is unloaded.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <propsys.h>
#include <shobjidl.h>

#include <optional>

#include "class_factory.h"
#include "handles.h"
#include "preview_paint.h"

// {53F3489E-272A-4AF7-9F97-48656F7992E6}
extern const CLSID CLSID_DFUPreviewHandler;

class DFUPreviewHandler : public CComObjectRootEx<CComSingleThreadModel>,
                          public CComCoClass<DFUPreviewHandler, &CLSID_DFUPreviewHandler>,
                          public IPreviewHandler,
                          public IInitializeWithStream,
                          public IObjectWithSite,
                          public IOleWindow,
                          public IPreviewHandlerVisuals {
public:
    DFUPreviewHandler() = default;
    DFUPreviewHandler(const DFUPreviewHandler&) = delete;
    DFUPreviewHandler& operator=(const DFUPreviewHandler&) = delete;
    ~DFUPreviewHandler();

    static const InterfaceMapEntry* GetInterfaceMap() noexcept;
    // The class's registry script, the file type's preview handler entry and the list of
    // preview handlers, for the machine.
    static HRESULT WINAPI UpdateRegistry(BOOL doRegister) noexcept;
    // The same in `scope`.
    static HRESULT UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept;

    // IInitializeWithStream
    STDMETHOD(Initialize)(IStream* stream, DWORD mode) override;

    // IPreviewHandler
    STDMETHOD(SetWindow)(HWND parent, const RECT* rect) override;
    STDMETHOD(SetRect)(const RECT* rect) override;
    STDMETHOD(DoPreview)() override;
    STDMETHOD(Unload)() override;
    STDMETHOD(SetFocus)() override;
    STDMETHOD(QueryFocus)(HWND* focus) override;
    STDMETHOD(TranslateAccelerator)(MSG* message) override;

    // IObjectWithSite
    STDMETHOD(SetSite)(IUnknown* site) override;
    STDMETHOD(GetSite)(REFIID iid, void** site) override;

    // IOleWindow
    STDMETHOD(GetWindow)(HWND* window) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL enterMode) override;

    // IPreviewHandlerVisuals
    STDMETHOD(SetBackgroundColor)(COLORREF colour) override;
    STDMETHOD(SetFont)(const LOGFONTW* font) override;
    STDMETHOD(SetTextColor)(COLORREF colour) override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc);
    // After a change of style or display: the painter's new fonts, and a new picture.
    void Restyle();
    void DestroyPreview() noexcept;

    orrelin::ComPtr<IStream> m_stream;
    orrelin::ComPtr<IUnknown> m_site;
    orrelin::ComPtr<IPreviewHandlerFrame> m_frame;
    HWND m_parent = nullptr;
    RECT m_rect = {};
    orrelin::UniqueWindow m_window;
    orrelin::PreviewStyle m_style = orrelin::SystemPreviewStyle();
    // The file's content, from its one read, drawn until the preview is unloaded.
    std::optional<orrelin::PreviewPainter> m_painter;
};
