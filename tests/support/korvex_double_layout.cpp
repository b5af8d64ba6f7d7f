// The test double's layout operations: they answer the layout a test set. A reader call
// reads the suffix through the caller's reader as the engine would, so a caller's reader
// that fails is seen to fail.
#include "KorvexDouble.h"
#include "KorvexSeams.h"

#include "dfu_layout_block.h"

#include <windows.h>

#include <string>

void ResetLayoutDouble();

namespace {

struct LayoutState {
    KorvexDfuLayout* layout = nullptr;  // null: the default answer
    int result = KORVEX_OK;
    int readCount = 0;
    std::wstring lastPath;
};

SRWLOCK g_layoutLock = SRWLOCK_INIT;
LayoutState g_layoutState;
LONG volatile g_liveLayouts = 0;

class LayoutLocked {
public:
    LayoutLocked() { AcquireSRWLockExclusive(&g_layoutLock); }
    ~LayoutLocked() { ReleaseSRWLockExclusive(&g_layoutLock); }
    LayoutLocked(const LayoutLocked&) = delete;
    LayoutLocked& operator=(const LayoutLocked&) = delete;
};

KorvexDfuLayout DefaultLayout()
{
    KorvexDfuLayout layout = {};
    layout.size = sizeof layout;
    layout.verdict = KORVEX_DFU_VALID;
    layout.dfuVersion = 0x0100;
    layout.vendor = layout.product = layout.release = 0xFFFF;
    layout.suffixLength = 16;
    return layout;
}

// Called with the lock held.
int Hand(const KorvexDfuLayout& answer, KorvexDfuLayout** layout)
{
    ++g_layoutState.readCount;
    if (g_layoutState.result != KORVEX_OK) return g_layoutState.result;
    *layout = korvex::CopyLayoutBlock(answer);
    if (*layout == nullptr) return KORVEX_OUT_OF_MEMORY;
    InterlockedIncrement(&g_liveLayouts);
    return KORVEX_OK;
}

const KorvexDfuLayout& Scripted()
{
    static const KorvexDfuLayout kDefault = DefaultLayout();
    return g_layoutState.layout != nullptr ? *g_layoutState.layout : kDefault;
}

}  // namespace

void ResetLayoutDouble()
{
    LayoutLocked lock;
    korvex::FreeLayoutBlock(g_layoutState.layout);
    g_layoutState = LayoutState();
    InterlockedExchange(&g_liveLayouts, 0);
}

extern "C" int KORVEX_CALL KorvexReadDfuLayout(const wchar_t* path, KorvexDfuLayout** layout)
{
    if (layout == nullptr) return KORVEX_INVALID_ARGUMENT;
    *layout = nullptr;
    try {
        LayoutLocked lock;
        g_layoutState.lastPath = path != nullptr ? path : L"";
        return Hand(Scripted(), layout);
    } catch (...) {
        return KORVEX_FAILED;
    }
}

namespace {

// Both reading calls: the suffix is read through the reader, so a failing reader gives the
// unreadable layout; else the scripted one, marked as the headers-only call marks it.
int ReadThrough(uint64_t size, KorvexDfuReader reader, void* context, KorvexDfuLayout** layout, bool headersOnly)
{
    if (layout == nullptr) return KORVEX_INVALID_ARGUMENT;
    *layout = nullptr;
    if (reader == nullptr) return KORVEX_INVALID_ARGUMENT;
    try {
        std::uint32_t error = 0;
        if (size >= 16) {
            unsigned char suffix[16];
            error = reader(context, size - 16, sizeof suffix, suffix);
        }
        LayoutLocked lock;
        g_layoutState.lastPath.clear();
        if (error == 0 && headersOnly && Scripted().verdict == KORVEX_DFU_VALID) {
            KorvexDfuLayout unchecked = Scripted();
            unchecked.flags |= KORVEX_DFU_CRC_NOT_CHECKED;
            return Hand(unchecked, layout);
        }
        if (error == 0) return Hand(Scripted(), layout);
        KorvexDfuLayout unreadable = DefaultLayout();
        unreadable.verdict = KORVEX_DFU_UNREADABLE;
        unreadable.systemError = error;
        unreadable.fileSize = size;
        return Hand(unreadable, layout);
    } catch (...) {
        return KORVEX_FAILED;
    }
}

}  // namespace

extern "C" int KORVEX_CALL KorvexReadDfuLayoutFrom(uint64_t size, KorvexDfuReader reader, void* context,
                                                   KorvexDfuLayout** layout)
{
    return ReadThrough(size, reader, context, layout, false);
}

extern "C" int KORVEX_CALL KorvexReadDfuLayoutHeadersFrom(uint64_t size, KorvexDfuReader reader, void* context,
                                                          KorvexDfuLayout** layout)
{
    return ReadThrough(size, reader, context, layout, true);
}

// The double reads every item: whether a file is here is the real engine's question.
extern "C" int KORVEX_CALL KorvexReadDfuLayoutOfItem(const wchar_t*, uint32_t how, uint64_t size,
                                                     KorvexDfuReader reader, void* context, KorvexDfuLayout** layout)
{
    return ReadThrough(size, reader, context, layout, how == KORVEX_READ_HEADERS);
}

namespace {

uint32_t KORVEX_CALL NoAttributes(const wchar_t*)
{
    return 0;
}

KorvexAttributeQuery volatile g_attributeQuery = nullptr;

}  // namespace

// Kept and handed back only, so a program's tests run alike beside either engine.
extern "C" KorvexAttributeQuery KORVEX_CALL KorvexReplaceAttributeQuery(KorvexAttributeQuery query)
{
    const KorvexAttributeQuery previous = g_attributeQuery;
    g_attributeQuery = query;
    return previous != nullptr ? previous : &NoAttributes;
}

extern "C" void KORVEX_CALL KorvexFreeDfuLayout(KorvexDfuLayout* layout)
{
    if (layout == nullptr) return;
    korvex::FreeLayoutBlock(layout);
    InterlockedDecrement(&g_liveLayouts);
}

// The control calls are made by tests; a failed allocation there may end the test program.
KORVEX_DOUBLE_API void KorvexDouble_SetLayout(const KorvexDfuLayout* layout)
{
    KorvexDfuLayout* copy = layout != nullptr ? korvex::CopyLayoutBlock(*layout) : nullptr;
    LayoutLocked lock;
    korvex::FreeLayoutBlock(g_layoutState.layout);
    g_layoutState.layout = copy;
}

KORVEX_DOUBLE_API void KorvexDouble_SetLayoutResult(int result)
{
    LayoutLocked lock;
    g_layoutState.result = result;
}

KORVEX_DOUBLE_API int KorvexDouble_LayoutReadCount()
{
    LayoutLocked lock;
    return g_layoutState.readCount;
}

KORVEX_DOUBLE_API int KorvexDouble_LiveLayoutCount()
{
    return static_cast<int>(g_liveLayouts);
}

KORVEX_DOUBLE_API const wchar_t* KorvexDouble_LastLayoutPath()
{
    LayoutLocked lock;
    return g_layoutState.lastPath.c_str();
}
