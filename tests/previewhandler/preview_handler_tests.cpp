// The preview handler registered with regsvr32 and created from its registration, as
// Explorer's preview host creates it, drawing into a real window whose pixels are read
// back and held against the geometry; and its registration beside a foreign handler.
#include <windows.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "registered_library.h"
#include "KorvexLayout.h"
#include "KorvexSeams.h"
#include "fake_attributes.h"
#include "test_stream.h"
#include "windows_test_files.h"
#include "handles.h"
#include "preview_layout.h"
#include "module_state.h"
#include "preview_host.h"
#include "preview_paint.h"
#include "stream_layout.h"

using orrelin::ComPtr;

using orrelin::test::ProgramFolder;
using orrelin::test::RegistryText;
using orrelin::test::Regsvr32;

namespace {

const CLSID kHandler = {0x53F3489E, 0x272A, 0x4AF7, {0x9F, 0x97, 0x48, 0x65, 0x6F, 0x79, 0x92, 0xE6}};
const wchar_t kHandlerText[] = L"{53F3489E-272A-4AF7-9F97-48656F7992E6}";
const wchar_t kForeign[] = L"{11111111-2222-3333-4444-555555555555}";
const wchar_t kEntryKey[] = L"dfufile\\shellex\\{8895b1c6-b41f-4c1c-a562-0d564250836f}";
const wchar_t kListKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers";
constexpr COLORREF kHostBackground = RGB(10, 200, 30);
constexpr COLORREF kHostText = RGB(90, 20, 120);

std::wstring Sample(const wchar_t* name)
{
    return ProgramFolder() + L"layout-samples\\" + name;
}

std::wstring Dll()
{
    return L"\"" + ProgramFolder() + L"Orrelin.dll\"";
}

LOGFONTW HostFont()
{
    LOGFONTW font = {};
    font.lfHeight = -13;
    font.lfWeight = FW_NORMAL;
    wcscpy(font.lfFaceName, L"Tahoma");
    return font;
}

// The content of a sample file, read by the engine beside the library, in the words of the
// library the handler runs from.
orrelin::PreviewContent ContentOf(const wchar_t* file)
{
    const orrelin::ModuleStateGuard strings(GetModuleHandleW(L"Orrelin.dll"));
    KorvexDfuLayout* read = nullptr;
    if (KorvexReadDfuLayout(Sample(file).c_str(), &read) != KORVEX_OK) return orrelin::PreviewContentOf(nullptr, file);
    const orrelin::LayoutOwner layout(read);
    return orrelin::PreviewContentOf(layout.get(), file);
}

// The geometry the handler lays out for `file` in `pane`, with the host's font.
orrelin::PreviewGeometry GeometryOf(const wchar_t* file, const PreviewPane& pane)
{
    orrelin::PreviewPainter painter(ContentOf(file));
    const RECT client = pane.client();
    HDC dc = GetDC(pane.window());
    painter.Restyle(dc, {kHostBackground, kHostText, HostFont()}, orrelin::WindowDpi(pane.window()));
    orrelin::PreviewGeometry geometry = painter.GeometryFor(dc, {client.right, client.bottom});
    ReleaseDC(pane.window(), dc);
    return geometry;
}

COLORREF Pixel(const std::vector<std::uint32_t>& pixels, SIZE size, int x, int y)
{
    const std::uint32_t rgb = pixels[std::size_t(y) * size.cx + x];
    return RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Every block of the geometry has its fill where it is drawn; the window's corner has the
// host's background.
void ExpectPictureOf(const orrelin::PreviewGeometry& geometry, const PreviewPane& pane, SIZE expected)
{
    SIZE size = {};
    const std::vector<std::uint32_t> pixels = pane.Pixels(size);
    ASSERT_EQ(expected.cx, size.cx);
    ASSERT_EQ(expected.cy, size.cy);
    EXPECT_EQ(kHostBackground, Pixel(pixels, size, size.cx - 2, size.cy - 2));
    int checked = 0;
    for (const orrelin::TargetMap& map : geometry.targets) {
        for (const orrelin::MapBlock& block : map.blocks) {
            if (block.kind == orrelin::MapBlockKind::Gap || block.rect.height() < 3) continue;
            // Near the left edge: a later overlapping block covers the bar's right half.
            const int x = block.rect.left + 2;
            const int y = (block.rect.top + block.rect.bottom) / 2;
            EXPECT_EQ(orrelin::BlockFill(block), Pixel(pixels, size, x, y)) << "block at " << block.first;
            ++checked;
        }
    }
    EXPECT_EQ(checked == 0, geometry.targets.empty());
}

class PreviewHandlerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(0u, Regsvr32(Dll()));
    }
    static void TearDownTestSuite()
    {
        Regsvr32(L"/u " + Dll());
        CoUninitialize();
    }

    // Created as the preview host creates it, from the entry the file type names.
    ComPtr<IPreviewHandler> Create()
    {
        CLSID classId = {};
        EXPECT_EQ(S_OK, CLSIDFromString(RegisteredPreviewHandler().c_str(), &classId));
        ComPtr<IPreviewHandler> handler;
        EXPECT_EQ(S_OK,
                  CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IPreviewHandler, handler.put_void()));
        ComPtr<IPreviewHandlerVisuals> visuals;
        if (handler && SUCCEEDED(handler->QueryInterface(IID_IPreviewHandlerVisuals, visuals.put_void()))) {
            const LOGFONTW font = HostFont();
            EXPECT_EQ(S_OK, visuals->SetBackgroundColor(kHostBackground));
            EXPECT_EQ(S_OK, visuals->SetTextColor(kHostText));
            EXPECT_EQ(S_OK, visuals->SetFont(&font));
        }
        return handler;
    }

    static HRESULT Initialize(IPreviewHandler* handler, const wchar_t* file)
    {
        ComPtr<IInitializeWithStream> initialize;
        ComPtr<IStream> stream;
        HRESULT hr = handler->QueryInterface(IID_IInitializeWithStream, initialize.put_void());
        if (SUCCEEDED(hr))
            hr = SHCreateStreamOnFileEx(Sample(file).c_str(), STGM_READ, 0, FALSE, nullptr, stream.put());
        return SUCCEEDED(hr) ? initialize->Initialize(stream.get(), STGM_READ) : hr;
    }
};

const wchar_t* const kPictured[] = {L"two-targets.dfu", L"crc-mismatch.dfu", L"overlap.dfu",
                                    L"elements-past-listing.dfu", L"no-suffix.dfu"};

class PreviewOfFile : public PreviewHandlerTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(PreviewOfFile, DrawsTheBlocksWhereTheGeometrySays)
{
    PreviewPane pane({360, 480});
    ComPtr<IPreviewHandler> handler = Create();
    ASSERT_TRUE(handler);
    ASSERT_EQ(S_OK, Initialize(handler.get(), GetParam()));
    const RECT client = pane.client();
    ASSERT_EQ(S_OK, handler->SetWindow(pane.window(), &client));
    ASSERT_EQ(S_OK, handler->DoPreview());
    ExpectPictureOf(GeometryOf(GetParam(), pane), pane, {360, 480});
    EXPECT_EQ(S_OK, handler->Unload());
}

INSTANTIATE_TEST_SUITE_P(Samples, PreviewOfFile, ::testing::ValuesIn(kPictured), [](const auto& row) {
    std::string name;
    for (const wchar_t* c = row.param; *c != L'.'; ++c)
        if (iswalnum(*c)) name += static_cast<char>(*c);
    return name;
});

// Pixels of `colour` within `rect` of the picture.
int CountIn(const std::vector<std::uint32_t>& pixels, SIZE size, const orrelin::MapRect& rect, COLORREF colour)
{
    int count = 0;
    for (int y = std::max(rect.top, 0); y < std::min<int>(rect.bottom, size.cy); ++y)
        for (int x = std::max(rect.left, 0); x < std::min<int>(rect.right, size.cx); ++x)
            count += Pixel(pixels, size, x, y) == colour ? 1 : 0;
    return count;
}

// A file that is not on this device: no byte of its stream is read, nothing of a map is
// drawn, and its verdict is words in the host's colour, not a broken file's.
TEST_F(PreviewHandlerTest, ReadsNothingOfAFileNotHere)
{
    const orrelin::test::FakeAttributes<wchar_t> fake(&KorvexReplaceAttributeQuery, orrelin::test::kRecallOnDataAccess);
    const std::wstring path = Sample(L"two-targets.dfu");
    orrelin::test::TestStream stream(enginetest::ReadBytes(path), ~0ull, path.c_str());
    PreviewPane pane({360, 480});
    ComPtr<IPreviewHandler> handler = Create();
    ASSERT_TRUE(handler);
    ComPtr<IInitializeWithStream> initialize;
    ASSERT_EQ(S_OK, handler->QueryInterface(IID_IInitializeWithStream, initialize.put_void()));
    ASSERT_EQ(S_OK, initialize->Initialize(&stream, STGM_READ));
    const RECT client = pane.client();
    ASSERT_EQ(S_OK, handler->SetWindow(pane.window(), &client));
    ASSERT_EQ(S_OK, handler->DoPreview());
    EXPECT_EQ(0, stream.Reads());

    const orrelin::PreviewGeometry geometry = GeometryOf(L"two-targets.dfu", pane);
    EXPECT_TRUE(geometry.targets.empty());
    ExpectPictureOf(geometry, pane, {360, 480});
    SIZE size = {};
    const std::vector<std::uint32_t> pixels = pane.Pixels(size);
    EXPECT_GT(CountIn(pixels, size, geometry.header.verdict, kHostText), 0);
    EXPECT_EQ(0, CountIn(pixels, size, geometry.header.verdict, orrelin::kBrokenVerdict));
    // The lines that say why and how to bring it.
    EXPECT_GT(CountIn(pixels, size, geometry.header.numbers, kHostText), 0);
    EXPECT_GT(CountIn(pixels, size, geometry.header.version, kHostText), 0);
    EXPECT_EQ(S_OK, handler->Unload());
}

TEST_F(PreviewHandlerTest, RedrawsAtTheNewSizeAndPreviewsAgainAfterUnload)
{
    PreviewPane pane({300, 300});
    ComPtr<IPreviewHandler> handler = Create();
    ASSERT_TRUE(handler);
    ASSERT_EQ(S_OK, Initialize(handler.get(), L"two-targets.dfu"));
    RECT client = pane.client();
    ASSERT_EQ(S_OK, handler->SetWindow(pane.window(), &client));
    ASSERT_EQ(S_OK, handler->DoPreview());
    ExpectPictureOf(GeometryOf(L"two-targets.dfu", pane), pane, {300, 300});

    pane.Resize({420, 640});
    client = pane.client();
    ASSERT_EQ(S_OK, handler->SetRect(&client));
    ExpectPictureOf(GeometryOf(L"two-targets.dfu", pane), pane, {420, 640});

    // Unloaded, it draws nothing more and takes a new file.
    ASSERT_EQ(S_OK, handler->Unload());
    EXPECT_EQ(E_UNEXPECTED, handler->DoPreview());
    EXPECT_EQ(nullptr, GetWindow(pane.window(), GW_CHILD));
    ASSERT_EQ(S_OK, Initialize(handler.get(), L"overlap.dfu"));
    ASSERT_EQ(S_OK, handler->DoPreview());
    ExpectPictureOf(GeometryOf(L"overlap.dfu", pane), pane, {420, 640});
    EXPECT_EQ(S_OK, handler->Unload());
}

// The painter keeps its geometry for one size and one style: each step changes one of them,
// and the picture must be laid out afresh, restyled only where the style or display changes.
TEST(PreviewPainter, LaysOutAgainForANewSizeStyleOrDisplay)
{
    const LONG small = HostFont().lfHeight;
    const struct {
        LONG fontHeight;
        int dpi;
        SIZE size;
        int left;   // of the title: the margin, scaled with the display
        int right;  // the width less that margin
    } steps[] = {
        {small, 96, {300, 300}, 8, 292},
        {small, 96, {400, 300}, 8, 392},
        {2 * small, 96, {400, 300}, 8, 392},
        {2 * small, 192, {400, 300}, 16, 384},
    };
    orrelin::PreviewPainter painter{orrelin::PreviewContent{}};
    HDC dc = GetDC(nullptr);
    LONG fontHeight = 0;
    int dpi = 0;
    int titleHeight = 0;
    for (const auto& step : steps) {
        if (step.fontHeight != fontHeight || step.dpi != dpi) {
            LOGFONTW font = HostFont();
            font.lfHeight = step.fontHeight;
            painter.Restyle(dc, {kHostBackground, kHostText, font}, step.dpi);
        }
        const orrelin::HeaderLines& header = painter.GeometryFor(dc, step.size).header;
        EXPECT_EQ(step.left, header.title.left) << step.dpi;
        EXPECT_EQ(step.right, header.title.right) << step.size.cx;
        if (step.fontHeight == fontHeight)
            EXPECT_EQ(titleHeight, header.title.height());
        else
            EXPECT_GT(header.title.height(), titleHeight);
        fontHeight = step.fontHeight;
        dpi = step.dpi;
        titleHeight = header.title.height();
    }
    ReleaseDC(nullptr, dc);
}

// A frame that counts the keys the handler hands on.
class CountingFrame : public IPreviewHandlerFrame {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IPreviewHandlerFrame)) return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }
    STDMETHODIMP GetWindowContext(PREVIEWHANDLERFRAMEINFO* info) override
    {
        *info = PREVIEWHANDLERFRAMEINFO{};
        return S_OK;
    }
    STDMETHODIMP TranslateAccelerator(MSG*) override
    {
        ++m_keys;
        return S_OK;
    }
    ULONG m_references = 1;
    int m_keys = 0;
};

TEST_F(PreviewHandlerTest, AnswersItsHostAsThePreviewPaneExpects)
{
    ComPtr<IPreviewHandler> handler = Create();
    ASSERT_TRUE(handler);
    const IID faces[] = {IID_IPreviewHandler, IID_IInitializeWithStream, IID_IObjectWithSite, IID_IOleWindow,
                         IID_IPreviewHandlerVisuals};
    for (const IID& face : faces) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(S_OK, handler->QueryInterface(face, answer.put_void()));
    }
    EXPECT_EQ(E_UNEXPECTED, handler->DoPreview());
    ASSERT_EQ(S_OK, Initialize(handler.get(), L"two-targets.dfu"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED), Initialize(handler.get(), L"two-targets.dfu"));
    // Drawing needs the host's window first.
    EXPECT_EQ(E_UNEXPECTED, handler->DoPreview());
    EXPECT_EQ(E_INVALIDARG, handler->SetWindow(nullptr, nullptr));
    EXPECT_EQ(E_INVALIDARG, handler->SetRect(nullptr));

    ComPtr<IObjectWithSite> site;
    ASSERT_EQ(S_OK, handler->QueryInterface(IID_IObjectWithSite, site.put_void()));
    ComPtr<IUnknown> none;
    EXPECT_EQ(E_FAIL, site->GetSite(IID_IUnknown, none.put_void()));
    MSG key = {};
    key.message = WM_KEYDOWN;
    key.wParam = VK_TAB;
    EXPECT_EQ(S_FALSE, handler->TranslateAccelerator(&key));
    CountingFrame frame;
    ASSERT_EQ(S_OK, site->SetSite(&frame));
    EXPECT_EQ(S_OK, handler->TranslateAccelerator(&key));
    EXPECT_EQ(1, frame.m_keys);
    ComPtr<IPreviewHandlerFrame> back;
    EXPECT_EQ(S_OK, site->GetSite(IID_IPreviewHandlerFrame, back.put_void()));
    back.reset();
    ASSERT_EQ(S_OK, site->SetSite(nullptr));
    EXPECT_EQ(1u, frame.m_references);

    PreviewPane pane({200, 200});
    const RECT client = pane.client();
    ASSERT_EQ(S_OK, handler->SetWindow(pane.window(), &client));
    ComPtr<IOleWindow> window;
    ASSERT_EQ(S_OK, handler->QueryInterface(IID_IOleWindow, window.put_void()));
    HWND parent = nullptr;
    EXPECT_EQ(S_OK, window->GetWindow(&parent));
    EXPECT_EQ(pane.window(), parent);
    EXPECT_EQ(E_INVALIDARG, handler->QueryFocus(nullptr));
    EXPECT_EQ(S_OK, handler->Unload());
}

// Registration of the class, the file type's entry and the list, and their removal.
class PreviewRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Regsvr32(L"/u " + Dll());
        RegDeleteKeyW(HKEY_CLASSES_ROOT, kEntryKey);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(PreviewRegistrationTest, WritesAndRemovesExactlyItsOwnKeys)
{
    const std::wstring classKey = std::wstring(L"CLSID\\") + kHandlerText;
    const std::wstring library = ProgramFolder() + L"Orrelin.dll";
    ASSERT_EQ(0u, Regsvr32(Dll()));
    EXPECT_EQ(kHandlerText, RegistryText(HKEY_CLASSES_ROOT, kEntryKey, nullptr));
    EXPECT_EQ(library, RegistryText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", nullptr));
    EXPECT_EQ(L"Apartment", RegistryText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(L"@" + library + L",-240", RegistryText(HKEY_CLASSES_ROOT, classKey, L"DisplayName"));
    EXPECT_EQ(library + L",-105", RegistryText(HKEY_CLASSES_ROOT, classKey, L"Icon"));
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    EXPECT_EQ(wow64 ? L"{534A1E02-D58F-44f0-B58B-36CBED287C7C}" : L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}",
              RegistryText(HKEY_CLASSES_ROOT, classKey, L"AppID"));
    EXPECT_EQ(L"DFU firmware memory map", RegistryText(HKEY_LOCAL_MACHINE, kListKey, kHandlerText));
    wchar_t name[128] = {};
    ASSERT_EQ(S_OK, SHLoadIndirectString(RegistryText(HKEY_CLASSES_ROOT, classKey, L"DisplayName").c_str(), name, 128,
                                         nullptr));
    EXPECT_STREQ(L"DFU firmware memory map", name);
    const orrelin::UniqueModule resources(LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    EXPECT_NE(nullptr, FindResourceW(resources.get(), MAKEINTRESOURCEW(105), RT_GROUP_ICON));

    ASSERT_EQ(0u, Regsvr32(L"/u " + Dll()));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_CLASSES_ROOT, kEntryKey, 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_READ, &key));
    EXPECT_EQ(L"(absent)", RegistryText(HKEY_LOCAL_MACHINE, kListKey, kHandlerText));
}

TEST_F(PreviewRegistrationTest, LeavesAForeignHandlerAlone)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CLASSES_ROOT, kEntryKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kForeign), sizeof(kForeign));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, kListKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    RegSetValueExW(key, kForeign, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Other"), sizeof(L"Other"));
    RegCloseKey(key);

    ASSERT_EQ(0u, Regsvr32(Dll()));
    EXPECT_EQ(kForeign, RegistryText(HKEY_CLASSES_ROOT, kEntryKey, nullptr));
    ASSERT_EQ(0u, Regsvr32(L"/u " + Dll()));
    EXPECT_EQ(kForeign, RegistryText(HKEY_CLASSES_ROOT, kEntryKey, nullptr));
    EXPECT_EQ(L"Other", RegistryText(HKEY_LOCAL_MACHINE, kListKey, kForeign));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kListKey, 0, KEY_SET_VALUE, &key));
    RegDeleteValueW(key, kForeign);
    RegCloseKey(key);
}

}  // namespace
