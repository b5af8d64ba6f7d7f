#include "DFUPreviewHandler.h"

#include "failure_trace.h"
#include "hresult.h"
#include "module.h"
#include "module_state.h"
#include "path.h"
#include "preview_content.h"
#include "preview_registration.h"
#include "resource.h"
#include "stream_layout.h"
#include "string_table.h"
#include "registration_scope.h"

using orrelin::ComPtr;
using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;

const CLSID CLSID_DFUPreviewHandler = {0x53F3489E, 0x272A, 0x4AF7, {0x9F, 0x97, 0x48, 0x65, 0x6F, 0x79, 0x92, 0xE6}};

namespace {

// Kept here, not all import libraries carry them.
const IID kIPreviewHandler = {0x8895B1C6, 0xB41F, 0x4C1C, {0xA5, 0x62, 0x0D, 0x56, 0x42, 0x50, 0x83, 0x6F}};
const IID kIInitializeWithStream = {0xB824B49D, 0x22AC, 0x4161, {0xAC, 0x8A, 0x99, 0x16, 0xE8, 0xFA, 0x3F, 0x7F}};
const IID kIObjectWithSite = {0xFC4801A3, 0x2BA9, 0x11CF, {0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52}};
const IID kIOleWindow = {0x00000114, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIPreviewHandlerVisuals = {0x196BF9A5, 0xB346, 0x4EF0, {0xAA, 0x1E, 0x5D, 0xCD, 0xB7, 0x67, 0x68, 0xB1}};
const IID kIPreviewHandlerFrame = {0xFEC87AAF, 0x35F9, 0x447A, {0xAD, 0xB7, 0x20, 0x23, 0x44, 0x91, 0x40, 0x1A}};

constexpr wchar_t kWindowClass[] = L"OrrelinDfuPreview";
// WM_DPICHANGED_AFTERPARENT, which a child window gets; newer than these headers.
constexpr UINT kDpiChangedAfterParent = 0x02E3;

// The file's name as the stream states it; empty when it states none.
std::wstring FileNameOf(IStream* stream)
{
    STATSTG status = {};
    if (FAILED(stream->Stat(&status, STATFLAG_DEFAULT)) || status.pwcsName == nullptr) return std::wstring();
    orrelin::UniqueCoTaskMemory name(status.pwcsName);
    return orrelin::SplitPath(status.pwcsName).leaf;
}

HRESULT EnsureWindowClass(WNDPROC procedure) noexcept
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    if (GetClassInfoExW(orrelin::ThisModule(), kWindowClass, &windowClass)) return S_OK;
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = orrelin::ThisModule();
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return orrelin::HResultFromLastError();
    return S_OK;
}

}  // namespace

DFUPreviewHandler::~DFUPreviewHandler()
{
    DestroyPreview();
}

const InterfaceMapEntry* DFUPreviewHandler::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&kIPreviewHandler, FaceOffset<IPreviewHandler, DFUPreviewHandler>(), kPlainFaceRow},
        {&kIInitializeWithStream, FaceOffset<IInitializeWithStream, DFUPreviewHandler>(), kPlainFaceRow},
        {&kIObjectWithSite, FaceOffset<IObjectWithSite, DFUPreviewHandler>(), kPlainFaceRow},
        {&kIOleWindow, FaceOffset<IOleWindow, DFUPreviewHandler>(), kPlainFaceRow},
        {&kIPreviewHandlerVisuals, FaceOffset<IPreviewHandlerVisuals, DFUPreviewHandler>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

STDMETHODIMP DFUPreviewHandler::Initialize(IStream* stream, DWORD)
{
    if (stream == nullptr) return TRACE_FAILURE(E_POINTER);
    if (m_stream || m_painter) return TRACE_FAILURE(HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
    stream->AddRef();
    m_stream = ComPtr<IStream>::Attach(stream);
    return S_OK;
}

STDMETHODIMP DFUPreviewHandler::SetWindow(HWND parent, const RECT* rect)
{
    if (parent == nullptr || rect == nullptr) return TRACE_FAILURE(E_INVALIDARG);
    m_parent = parent;
    m_rect = *rect;
    if (m_window) {
        ::SetParent(m_window.get(), m_parent);
        SetWindowPos(m_window.get(), nullptr, m_rect.left, m_rect.top, m_rect.right - m_rect.left,
                     m_rect.bottom - m_rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
}

STDMETHODIMP DFUPreviewHandler::SetRect(const RECT* rect)
{
    if (rect == nullptr) return TRACE_FAILURE(E_INVALIDARG);
    m_rect = *rect;
    if (m_window)
        SetWindowPos(m_window.get(), nullptr, m_rect.left, m_rect.top, m_rect.right - m_rect.left,
                     m_rect.bottom - m_rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    return S_OK;
}

STDMETHODIMP DFUPreviewHandler::DoPreview()
{
    if (m_window) return S_OK;
    if (!m_stream && !m_painter) return TRACE_FAILURE(E_UNEXPECTED);
    if (m_parent == nullptr) return TRACE_FAILURE(E_UNEXPECTED);
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        if (!m_painter) {
            // The one read of the file; painting only ever draws what it found.
            orrelin::LayoutOwner layout = orrelin::ReadLayoutFromStream(m_stream.get());
            m_painter.emplace(orrelin::PreviewContentOf(layout.get(), FileNameOf(m_stream.get())));
            m_stream.reset();
        }
        RETURN_IF_FAILED(EnsureWindowClass(&WindowProc));
        m_window.reset(CreateWindowExW(0, kWindowClass, nullptr, WS_CHILD | WS_CLIPSIBLINGS, m_rect.left, m_rect.top,
                                       m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, m_parent, nullptr,
                                       orrelin::ThisModule(), nullptr));
        if (!m_window) return orrelin::HResultFromLastError();
        SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        Restyle();
        ShowWindow(m_window.get(), SW_SHOWNA);
        // The first picture is complete when the preview returns.
        UpdateWindow(m_window.get());
        return S_OK;
    }));
}

STDMETHODIMP DFUPreviewHandler::Unload()
{
    DestroyPreview();
    return S_OK;
}

STDMETHODIMP DFUPreviewHandler::SetFocus()
{
    if (m_window) ::SetFocus(m_window.get());
    return S_OK;
}

STDMETHODIMP DFUPreviewHandler::QueryFocus(HWND* focus)
{
    if (focus == nullptr) return TRACE_FAILURE(E_INVALIDARG);
    *focus = ::GetFocus();
    if (*focus != nullptr) return S_OK;
    const HRESULT hr = orrelin::HResultFromLastError();
    return TRACE_FAILURE(FAILED(hr) ? hr : E_FAIL);
}

STDMETHODIMP DFUPreviewHandler::TranslateAccelerator(MSG* message)
{
    // Nothing of ours takes keys; the host's frame gets every one (Tab out of the pane).
    return TRACE_FAILURE(m_frame ? m_frame->TranslateAccelerator(message) : S_FALSE);
}

STDMETHODIMP DFUPreviewHandler::SetSite(IUnknown* site)
{
    m_frame.reset();
    m_site.reset();
    if (site != nullptr) {
        site->AddRef();
        m_site = ComPtr<IUnknown>::Attach(site);
        site->QueryInterface(kIPreviewHandlerFrame, m_frame.put_void());
    }
    return S_OK;
}

STDMETHODIMP DFUPreviewHandler::GetSite(REFIID iid, void** site)
{
    if (site == nullptr) return TRACE_FAILURE(E_POINTER);
    *site = nullptr;
    if (!m_site) return TRACE_FAILURE(E_FAIL);
    return TRACE_FAILURE(m_site->QueryInterface(iid, site));
}

STDMETHODIMP DFUPreviewHandler::GetWindow(HWND* window)
{
    if (window == nullptr) return TRACE_FAILURE(E_INVALIDARG);
    *window = m_parent;
    return S_OK;
}

STDMETHODIMP DFUPreviewHandler::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP DFUPreviewHandler::SetBackgroundColor(COLORREF colour)
{
    m_style.background = colour;
    return TRACE_FAILURE(GuardComBoundary([&] {
        Restyle();
        return S_OK;
    }));
}

STDMETHODIMP DFUPreviewHandler::SetTextColor(COLORREF colour)
{
    m_style.text = colour;
    return TRACE_FAILURE(GuardComBoundary([&] {
        Restyle();
        return S_OK;
    }));
}

STDMETHODIMP DFUPreviewHandler::SetFont(const LOGFONTW* font)
{
    if (font == nullptr) return TRACE_FAILURE(E_INVALIDARG);
    m_style.font = *font;
    return TRACE_FAILURE(GuardComBoundary([&] {
        Restyle();
        return S_OK;
    }));
}

void DFUPreviewHandler::Restyle()
{
    if (!m_window || !m_painter) return;
    HDC dc = GetDC(m_window.get());
    m_painter->Restyle(dc, m_style, orrelin::WindowDpi(m_window.get()));
    ReleaseDC(m_window.get(), dc);
    InvalidateRect(m_window.get(), nullptr, FALSE);
}

void DFUPreviewHandler::DestroyPreview() noexcept
{
    m_window.reset();
    // Fails while another preview of this library still has a window; the last one
    // leaves no class behind.
    UnregisterClassW(kWindowClass, orrelin::ThisModule());
    m_painter.reset();
    m_stream.reset();
}

void DFUPreviewHandler::Paint(HDC target)
{
    RECT client;
    GetClientRect(m_window.get(), &client);
    if (m_painter) m_painter->Paint(target, {client.right, client.bottom});
}

LRESULT CALLBACK DFUPreviewHandler::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* handler = reinterpret_cast<DFUPreviewHandler*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (handler == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    try {
        switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            handler->Paint(dc);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_PRINTCLIENT:
            handler->Paint(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_SIZE:
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        case kDpiChangedAfterParent:
            // Moved to a display of another scale: margins and spacing follow it.
            handler->Restyle();
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            break;
        default:
            break;
        }
    } catch (...) {
        // A picture that cannot be drawn (out of memory) leaves the pane as it was.
        ValidateRect(window, nullptr);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HRESULT WINAPI DFUPreviewHandler::UpdateRegistry(BOOL doRegister) noexcept
{
    return UpdateRegistryIn(RegistrationScope::Machine(), doRegister);
}

HRESULT DFUPreviewHandler::UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept
{
    const RegistryVariable variables[] = {{L"PREVIEWHOST", orrelin::PreviewHostAppId()}, {nullptr, nullptr}};
    if (doRegister) {
        RETURN_IF_FAILED(g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUPREVIEWHANDLER, TRUE, variables));
        return GuardComBoundary([&] {
            ModuleStateGuard guard;
            const std::wstring name = orrelin::LoadResString(IDS_PREVIEW_DISPLAY_NAME);
            return orrelin::RegisterPreviewHandlerEntries(scope, CLSID_DFUPreviewHandler, name.c_str());
        });
    }
    // Removal goes on past a failure, so one missing piece leaves no others behind.
    const HRESULT entries = orrelin::UnregisterPreviewHandlerEntries(scope, CLSID_DFUPreviewHandler);
    RETURN_IF_FAILED(g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUPREVIEWHANDLER, FALSE, variables));
    return entries;
}
