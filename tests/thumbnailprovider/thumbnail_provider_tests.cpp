// The thumbnail provider registered with regsvr32 and created from the extension's entry, as
// Explorer's thumbnail process creates it, given a stream on each sample file and asked for
// pictures of Explorer's sizes, whose pixels are held against the geometry; streams that fail
// or are too large to check; and its registration beside a foreign provider.
#include <windows.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "KorvexLayout.h"
#include "handles.h"
#include "module_state.h"
#include "preview_paint.h"
#include "registered_library.h"
#include "stream_layout.h"
#include "thumbnail_paint.h"

using orrelin::ComPtr;
using orrelin::ThumbnailMark;
using orrelin::test::ProgramFolder;
using orrelin::test::RegistryText;
using orrelin::test::Regsvr32;

namespace {

// Not in every import library.
const IID kIThumbnailProvider = {0xE357FCCD, 0xA995, 0x4576, {0xB0, 0x1F, 0x23, 0x46, 0x30, 0x15, 0x4E, 0x96}};
const wchar_t kEntryKey[] = L".dfu\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}";
const wchar_t kProviderText[] = L"{75E21AA9-E4B9-4554-9E19-FEC5135C8DB5}";
const wchar_t kForeign[] = L"{11111111-2222-3333-4444-555555555555}";

std::wstring Sample(const wchar_t* name)
{
    return ProgramFolder() + L"layout-samples\\" + name;
}

std::wstring Dll()
{
    return L"\"" + ProgramFolder() + L"Orrelin.dll\"";
}

std::string Bytes(const std::wstring& path)
{
    std::string bytes;
    const orrelin::UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[4096];
    DWORD read = 0;
    while (file && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}

// A stream of `size` bytes: `head` at its start, `tail` at its end, zeros between. Reads of
// any byte from `failFrom` on fail as a disk would; the bytes read are counted.
class SparseStream final : public IStream {
public:
    SparseStream(std::string head, std::uint64_t size, std::string tail, std::uint64_t failFrom = UINT64_MAX)
        : m_head(std::move(head)), m_tail(std::move(tail)), m_size(size), m_failFrom(failFrom)
    {
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IStream) && !IsEqualIID(iid, IID_ISequentialStream))
            return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }
    STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override
    {
        if (read != nullptr) *read = 0;
        const ULONG take = static_cast<ULONG>(std::min<std::uint64_t>(count, m_size - std::min(m_at, m_size)));
        if (take > 0 && m_at + take > m_failFrom) return HRESULT_FROM_WIN32(ERROR_CRC);
        auto* out = static_cast<char*>(buffer);
        for (ULONG i = 0; i < take; ++i, ++m_at) {
            const std::uint64_t fromEnd = m_size - m_at;
            out[i] = m_at < m_head.size()       ? m_head[m_at]
                     : fromEnd <= m_tail.size() ? m_tail[m_tail.size() - fromEnd]
                                                : '\0';
        }
        bytesRead += take;
        if (read != nullptr) *read = take;
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        const std::int64_t base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? m_at : m_size;
        if (base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
        m_at = static_cast<std::uint64_t>(base + move.QuadPart);
        if (position != nullptr) position->QuadPart = m_at;
        return S_OK;
    }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG* status, DWORD) override
    {
        *status = STATSTG{};
        status->type = STGTY_STREAM;
        status->cbSize.QuadPart = m_size;
        return S_OK;
    }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

    std::uint64_t bytesRead = 0;
    ULONG m_references = 1;

private:
    std::string m_head;
    std::string m_tail;
    std::uint64_t m_size;
    std::uint64_t m_failFrom;
    std::uint64_t m_at = 0;
};

void Le32(std::string& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
}

// A DfuSe image of one named target with one element of `dataLength` bytes: the headers
// before the data, and the suffix (its CRC never checked) after it.
std::pair<std::string, std::string> LargeImage(std::uint32_t dataLength)
{
    std::string head = "DfuSe";
    head += '\x01';
    Le32(head, 11 + 274 + 8 + dataLength);
    head += '\x01';
    head += "Target";
    head += '\0';
    Le32(head, 1);
    std::string name = "Flash";
    name.resize(255, '\0');
    head += name;
    Le32(head, 8 + dataLength);
    Le32(head, 1);
    Le32(head, 0x08000000);
    Le32(head, dataLength);
    const std::string tail("\x00\x02\x11\xDF\x83\x04\x1A\x01UFD\x10\x00\x00\x00\x00", 16);
    return {head, tail};
}

std::uint32_t At(const std::vector<std::uint32_t>& pixels, int size, int x, int y)
{
    return pixels[static_cast<std::size_t>(y) * size + x];
}

std::uint32_t Opaque(COLORREF colour)
{
    return 0xFF000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

class ThumbnailTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(0u, Regsvr32(Dll()));
        // Held for the suite, so the geometry is laid out with the library's own words.
        s_library = LoadLibraryExW((ProgramFolder() + L"Orrelin.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        ASSERT_NE(nullptr, s_library);
    }
    static void TearDownTestSuite()
    {
        FreeLibrary(s_library);
        Regsvr32(L"/u " + Dll());
        CoUninitialize();
    }

    static HMODULE s_library;

    // Created as Explorer's thumbnail process creates it, from the extension's entry.
    static ComPtr<IThumbnailProvider> Create()
    {
        CLSID classId = {};
        EXPECT_EQ(S_OK, CLSIDFromString(RegistryText(HKEY_CLASSES_ROOT, kEntryKey, nullptr).c_str(), &classId));
        ComPtr<IThumbnailProvider> provider;
        EXPECT_EQ(S_OK,
                  CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, kIThumbnailProvider, provider.put_void()));
        return provider;
    }

    // The picture of `stream` at `size`, as 0xAARRGGBB rows from the top; checks what
    // Explorer relies on: S_OK, premultiplied ARGB, a top-down DIB of the size asked for.
    static std::vector<std::uint32_t> Picture(IStream* stream, UINT size)
    {
        ComPtr<IThumbnailProvider> provider = Create();
        ComPtr<IInitializeWithStream> initialize;
        if (!provider || FAILED(provider->QueryInterface(IID_IInitializeWithStream, initialize.put_void()))) return {};
        EXPECT_EQ(S_OK, initialize->Initialize(stream, STGM_READ));
        HBITMAP bitmap = nullptr;
        WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
        EXPECT_EQ(S_OK, provider->GetThumbnail(size, &bitmap, &alpha));
        const orrelin::UniqueGdiObject owner(bitmap);
        EXPECT_EQ(WTSAT_ARGB, alpha);
        DIBSECTION section = {};
        if (bitmap == nullptr || GetObjectW(bitmap, sizeof section, &section) != sizeof section) {
            ADD_FAILURE() << "not a DIB section";
            return {};
        }
        EXPECT_EQ(LONG(size), section.dsBm.bmWidth);
        EXPECT_EQ(LONG(size), section.dsBm.bmHeight);
        EXPECT_EQ(32, section.dsBm.bmBitsPixel);
        // Rows from the top: ExpectPicture finds the page's transparent top corners in the
        // first row and the mark in the last ones.
        const auto* bits = static_cast<const std::uint32_t*>(section.dsBm.bmBits);
        std::vector<std::uint32_t> pixels(bits, bits + std::size_t(size) * size);
        for (const std::uint32_t pixel : pixels) {
            const std::uint32_t alphaByte = pixel >> 24;
            if (((pixel >> 16) & 0xFF) > alphaByte || ((pixel >> 8) & 0xFF) > alphaByte || (pixel & 0xFF) > alphaByte) {
                ADD_FAILURE() << "not premultiplied: " << std::hex << pixel;
                break;
            }
        }
        return pixels;
    }
};

HMODULE ThumbnailTest::s_library = nullptr;

// The geometry the provider lays out for a layout, in the words of the library it runs from.
orrelin::ThumbnailGeometry GeometryOf(const KorvexDfuLayout* layout, int size)
{
    const orrelin::ModuleStateGuard strings(GetModuleHandleW(L"Orrelin.dll"));
    return orrelin::ThumbnailGeometryOf(layout, size);
}

// Transparent corners, the mark in its colour, each block of the map in its fill where the
// geometry puts it (or the document's lines), and the numbers written where they go.
void ExpectPicture(const std::vector<std::uint32_t>& pixels, const orrelin::ThumbnailGeometry& geometry,
                   ThumbnailMark mark, bool map)
{
    const int size = geometry.size;
    ASSERT_EQ(std::size_t(size) * size, pixels.size());
    EXPECT_EQ(0u, At(pixels, size, 0, 0));
    EXPECT_EQ(0u, At(pixels, size, size - 1, 0));
    const double inner = geometry.markRadius - std::max(1.0, geometry.markRadius / 7);
    EXPECT_EQ(Opaque(orrelin::MarkFill(mark)),
              At(pixels, size, int(geometry.markX), int(geometry.markY - 0.7 * inner)));
    const auto underMark = [&](int x, int y) {
        return std::hypot(x + 0.5 - geometry.markX, y + 0.5 - geometry.markY) < geometry.markRadius + 1;
    };
    int checked = 0;
    for (const orrelin::ThumbnailBar& bar : geometry.bars) {
        for (const orrelin::MapBlock& block : bar.blocks) {
            // The next block may cover a block's last row, and one drawn over another keeps
            // a frame of page: the top row, or the first row inside the frame.
            const bool framed = block.rect.left > bar.bar.left && block.rect.width() > 2 && block.rect.height() > 2;
            if (block.kind == orrelin::MapBlockKind::Gap || block.rect.height() < 2 || block.rect.width() < 3) continue;
            const int x = block.rect.left + 1;
            const int y = block.rect.top + (framed ? 1 : 0);
            if (underMark(x, y)) continue;
            EXPECT_EQ(Opaque(orrelin::BlockFill(block)), At(pixels, size, x, y)) << "block at " << block.first;
            ++checked;
        }
    }
    EXPECT_EQ(map, checked > 0);
    EXPECT_EQ(!map, !geometry.lines.empty());
    for (const orrelin::MapRect& line : geometry.lines) {
        if (underMark(line.left, line.top)) continue;
        EXPECT_EQ(Opaque(orrelin::kDocumentLine), At(pixels, size, line.left, line.top));
    }
    const orrelin::MapRect& numbers = geometry.numbers;
    EXPECT_EQ(map && size >= orrelin::kNumbersFromSize, numbers.height() > 0);
    int written = 0;
    for (int y = numbers.top; y < numbers.bottom; ++y) {
        for (int x = numbers.left; x < numbers.right; ++x) {
            EXPECT_EQ(0xFFu, At(pixels, size, x, y) >> 24) << x << "," << y;
            if ((At(pixels, size, x, y) & 0xFF) < 128) ++written;
        }
    }
    EXPECT_EQ(numbers.height() > 0, written > 0);
}

struct SampleRow {
    const wchar_t* file;
    ThumbnailMark mark;
    bool map;
};

const SampleRow kSamples[] = {
    {L"two-targets.dfu", ThumbnailMark::Intact, true},
    {L"plain.dfu", ThumbnailMark::Intact, true},
    {L"overlap.dfu", ThumbnailMark::Intact, true},
    {L"elements-past-listing.dfu", ThumbnailMark::Intact, true},
    {L"crc-mismatch.dfu", ThumbnailMark::Broken, true},
    {L"no-suffix.dfu", ThumbnailMark::Broken, false},  // a foreign file
    {L"empty.dfu", ThumbnailMark::Broken, false},
};

TEST_F(ThumbnailTest, DrawsEachSampleAtEachSize)
{
    for (const SampleRow& row : kSamples) {
        const std::string bytes = Bytes(Sample(row.file));
        KorvexDfuLayout* read = nullptr;
        ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayout(Sample(row.file).c_str(), &read));
        const orrelin::LayoutOwner layout(read);
        for (const UINT size : {32u, 96u, 256u}) {
            SCOPED_TRACE(orrelin::test::Narrow(row.file) + " at " + std::to_string(size));
            SparseStream stream(bytes, bytes.size(), std::string());
            const std::vector<std::uint32_t> pixels = Picture(&stream, size);
            ExpectPicture(pixels, GeometryOf(layout.get(), int(size)), row.mark, row.map);
            EXPECT_EQ(1u, stream.m_references);
        }
    }
}

// A stream that fails part-way is a file the engine cannot read: a document, marked broken.
// One larger than the whole check allows is read from its headers: its map, "not checked".
TEST_F(ThumbnailTest, DrawsAFailingStreamAsADocumentAndALargeOneFromItsHeaders)
{
    const std::string bytes = Bytes(Sample(L"two-targets.dfu"));
    SparseStream failing(bytes, bytes.size(), std::string(), bytes.size() / 2);
    const std::vector<std::uint32_t> document = Picture(&failing, 96);
    ExpectPicture(document, GeometryOf(nullptr, 96), ThumbnailMark::Broken, false);

    const std::uint32_t data = (64u << 20) + 1;
    const auto [head, tail] = LargeImage(data);
    SparseStream large(head, head.size() + data + tail.size(), tail);
    const std::vector<std::uint32_t> pixels = Picture(&large, 256);
    EXPECT_LT(large.bytesRead, 4096u);
    const orrelin::LayoutOwner layout = orrelin::ReadLayoutFromStream(&large, 0);
    ASSERT_TRUE(layout);
    EXPECT_EQ(KORVEX_DFU_CRC_NOT_CHECKED, layout->flags & KORVEX_DFU_CRC_NOT_CHECKED);
    ExpectPicture(pixels, GeometryOf(layout.get(), 256), ThumbnailMark::NotChecked, true);

    // Just below the limit the whole file is checked: here its CRC does not match.
    SparseStream checked(head, head.size() + (64u << 20) - 400 + tail.size(), tail);
    ComPtr<IThumbnailProvider> provider = Create();
    ComPtr<IInitializeWithStream> initialize;
    ASSERT_EQ(S_OK, provider->QueryInterface(IID_IInitializeWithStream, initialize.put_void()));
    ASSERT_EQ(S_OK, initialize->Initialize(&checked, STGM_READ));
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    ASSERT_EQ(S_OK, provider->GetThumbnail(32, &bitmap, &alpha));
    DeleteObject(bitmap);
    EXPECT_GE(checked.bytesRead, std::uint64_t{64u << 20} - 400);
}

// A file not on this device: the engine read nothing, the picture says so.
TEST_F(ThumbnailTest, MarksAFileNotOnThisDevice)
{
    KorvexDfuLayout layout = {};
    layout.size = sizeof layout;
    layout.verdict = KORVEX_DFU_NOT_ON_THIS_DEVICE;
    layout.vendor = layout.product = layout.release = KORVEX_NOT_STATED;
    for (const int size : {32, 256}) {
        HBITMAP bitmap = nullptr;
        const orrelin::ModuleStateGuard strings(GetModuleHandleW(L"Orrelin.dll"));
        ASSERT_EQ(S_OK, orrelin::DrawThumbnail(&layout, size, &bitmap));
        const orrelin::UniqueGdiObject owner(bitmap);
        DIBSECTION section = {};
        ASSERT_EQ(int(sizeof section), GetObjectW(bitmap, sizeof section, &section));
        const auto* bits = static_cast<const std::uint32_t*>(section.dsBm.bmBits);
        ExpectPicture(std::vector<std::uint32_t>(bits, bits + size * size), GeometryOf(&layout, size),
                      ThumbnailMark::NotOnThisDevice, false);
    }
}

TEST_F(ThumbnailTest, AnswersItsHostAsExplorerExpects)
{
    ComPtr<IThumbnailProvider> provider = Create();
    ASSERT_TRUE(provider);
    ComPtr<IInitializeWithStream> initialize;
    ASSERT_EQ(S_OK, provider->QueryInterface(IID_IInitializeWithStream, initialize.put_void()));
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);
    WTS_ALPHATYPE alpha = WTSAT_RGB;
    EXPECT_EQ(E_UNEXPECTED, provider->GetThumbnail(32, &bitmap, &alpha));
    EXPECT_EQ(nullptr, bitmap);
    EXPECT_EQ(E_POINTER, initialize->Initialize(nullptr, STGM_READ));
    SparseStream stream(Bytes(Sample(L"two-targets.dfu")), 0, std::string());
    ASSERT_EQ(S_OK, initialize->Initialize(&stream, STGM_READ));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED), initialize->Initialize(&stream, STGM_READ));
    EXPECT_EQ(E_POINTER, provider->GetThumbnail(32, nullptr, &alpha));
    EXPECT_EQ(E_POINTER, provider->GetThumbnail(32, &bitmap, nullptr));
    EXPECT_EQ(E_INVALIDARG, provider->GetThumbnail(0, &bitmap, &alpha));
    EXPECT_EQ(nullptr, bitmap);
    provider.reset();
    initialize.reset();
    EXPECT_EQ(1u, stream.m_references);
}

// The extension's entry, per user and for the machine, written only while free and removed
// only while ours.
TEST(ThumbnailRegistration, ClaimsAndReleasesOnlyItsOwnEntry)
{
    const struct {
        const wchar_t* arguments;  // to regsvr32, before the library
        HKEY root;
        const wchar_t* classes;
        bool foreign;
    } rows[] = {
        {L"", HKEY_CLASSES_ROOT, L"", false},
        {L"", HKEY_CLASSES_ROOT, L"", true},
        {L"/n /i:user ", HKEY_CURRENT_USER, L"Software\\Classes\\", false},
        {L"/n /i:user ", HKEY_CURRENT_USER, L"Software\\Classes\\", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(orrelin::test::Narrow(row.arguments) + (row.foreign ? "foreign" : "free"));
        const std::wstring entry = row.classes + std::wstring(kEntryKey);
        const std::wstring classKey = row.classes + std::wstring(L"CLSID\\") + kProviderText;
        RegDeleteKeyW(row.root, entry.c_str());
        if (row.foreign) {
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS,
                      RegCreateKeyExW(row.root, entry.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
            RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kForeign), sizeof(kForeign));
            RegCloseKey(key);
        }
        ASSERT_EQ(0u, Regsvr32(row.arguments + Dll()));
        EXPECT_EQ(row.foreign ? kForeign : kProviderText, RegistryText(row.root, entry, nullptr));
        EXPECT_EQ(ProgramFolder() + L"Orrelin.dll", RegistryText(row.root, classKey + L"\\InprocServer32", nullptr));
        EXPECT_EQ(L"Apartment", RegistryText(row.root, classKey + L"\\InprocServer32", L"ThreadingModel"));
        // Explorer runs it in its isolated process: nothing asks to be let out of it.
        EXPECT_EQ(L"(absent)", RegistryText(row.root, classKey, L"DisableProcessIsolation"));

        ASSERT_EQ(0u, Regsvr32(L"/u " + std::wstring(row.arguments) + Dll()));
        EXPECT_EQ(row.foreign ? kForeign : L"(absent)", RegistryText(row.root, entry, nullptr));
        EXPECT_EQ(L"(absent)", RegistryText(row.root, classKey + L"\\InprocServer32", nullptr));
        RegDeleteKeyW(row.root, entry.c_str());
    }
}

}  // namespace
