#include "preview_host.h"

#include "handles.h"

namespace {

constexpr wchar_t kPaneClass[] = L"OrrelinPreviewPane";

std::wstring ClassesDefault(const std::wstring& key)
{
    wchar_t value[512];
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

}  // namespace

std::wstring RegisteredPreviewHandler()
{
    const std::wstring entry = L"\\shellex\\{8895b1c6-b41f-4c1c-a562-0d564250836f}";
    const std::wstring progId = ClassesDefault(L".dfu");
    std::wstring handler = progId.empty() ? std::wstring() : ClassesDefault(progId + entry);
    return handler.empty() ? ClassesDefault(L".dfu" + entry) : handler;
}

PreviewPane::PreviewPane(SIZE size)
{
    WNDCLASSEXW paneClass = {};
    paneClass.cbSize = sizeof(paneClass);
    paneClass.lpfnWndProc = DefWindowProcW;
    paneClass.hInstance = GetModuleHandleW(nullptr);
    paneClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    paneClass.lpszClassName = kPaneClass;
    RegisterClassExW(&paneClass);
    m_window = CreateWindowExW(WS_EX_TOOLWINDOW, kPaneClass, L"Preview", WS_POPUP | WS_CLIPCHILDREN, 0, 0, size.cx,
                               size.cy, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (m_window != nullptr) ShowWindow(m_window, SW_SHOWNOACTIVATE);
    Pump();
}

PreviewPane::~PreviewPane()
{
    if (m_window != nullptr) DestroyWindow(m_window);
    Pump();
}

RECT PreviewPane::client() const noexcept
{
    RECT rect = {};
    GetClientRect(m_window, &rect);
    return rect;
}

void PreviewPane::Resize(SIZE size) noexcept
{
    SetWindowPos(m_window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Pump();
}

void PreviewPane::Pump() noexcept
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::vector<std::uint32_t> PreviewPane::Pixels(SIZE& size) const
{
    Pump();
    const RECT rect = client();
    size = {rect.right, rect.bottom};
    std::vector<std::uint32_t> pixels;
    if (size.cx <= 0 || size.cy <= 0) return pixels;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC window = GetDC(m_window);
    orrelin::UniqueMemoryDc copy(CreateCompatibleDC(window));
    orrelin::UniqueGdiObject bitmap(CreateDIBSection(window, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (copy && bitmap && bits != nullptr) {
        const HGDIOBJ old = SelectObject(copy.get(), bitmap.get());
        if (BitBlt(copy.get(), 0, 0, size.cx, size.cy, window, 0, 0, SRCCOPY)) {
            GdiFlush();
            const auto* from = static_cast<const std::uint32_t*>(bits);
            pixels.assign(from, from + std::size_t(size.cx) * std::size_t(size.cy));
            for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
        }
        SelectObject(copy.get(), old);
    }
    ReleaseDC(m_window, window);
    return pixels;
}
