#include <gtest/gtest.h>

#include <cstdint>

#include "format.h"
#include "hresult.h"

using orrelin::FormatError;
using orrelin::FormatWithValues;

namespace {

struct FormatRow {
    const wchar_t* format;
    std::wstring expected;
    std::wstring actual;
};

TEST(Format, FillsPlaceholdersFromTypedValues)
{
    const unsigned int vendor = 0xAB;
    const unsigned int release = 0x100;
    const std::uint64_t threeGiB = 3ull << 30;
    const FormatRow rows[] = {
        {L"%s", L"plain", FormatWithValues(L"%s", {L"plain"})},
        {L"0x%04X", L"0x00AB", FormatWithValues(L"0x%04X", {vendor})},
        {L"0x%04X (wide)", L"0x1FFFF", FormatWithValues(L"0x%04X", {0x1FFFFu})},
        {L"%X", L"100", FormatWithValues(L"%X", {release})},
        {L"%x", L"ff", FormatWithValues(L"%x", {255u})},
        {L"%#x", L"0xff", FormatWithValues(L"%#x", {255u})},
        {L"%li 64-bit", L"5000000000", FormatWithValues(L"%li", {std::uint64_t{5000000000ull}})},
        {L"%li 3 GiB", L"3221225472", FormatWithValues(L"%li", {threeGiB})},
        {L"%d negative", L"-42", FormatWithValues(L"%d", {-42})},
        {L"%+d", L"+7", FormatWithValues(L"%+d", {7})},
        {L"%u", L"4294967295", FormatWithValues(L"%u", {0xFFFFFFFFu})},
        {L"%5s", L"   ab", FormatWithValues(L"%5s", {L"ab"})},
        {L"%-5s|", L"ab   |", FormatWithValues(L"%-5s|", {L"ab"})},
        {L"%.2s", L"ab", FormatWithValues(L"%.2s", {L"abc"})},
        {L"%05d", L"-0042", FormatWithValues(L"%05d", {-42})},
        {L"%I64u", L"18446744073709551615", FormatWithValues(L"%I64u", {~0ull})},
        {L"%c", L"A", FormatWithValues(L"%c", {65})},
        {L"100%%", L"100%", FormatWithValues(L"100%%", {})},
    };
    for (const auto& row : rows) EXPECT_EQ(row.expected, row.actual) << row.format;
}

TEST(Format, ValuesAreInsertedNeverReadAsFormats)
{
    EXPECT_EQ(L"File: 50%s %d %% done.dfu", FormatWithValues(L"File: %s", {L"50%s %d %% done.dfu"}));
    EXPECT_EQ(L"'%1' via %s", FormatWithValues(L"'%s' via %s", {L"%1", L"%s"}));
}

TEST(Format, SizeLineKeepsLaterValuesInPlaceAfterA64BitLength)
{
    // The date after the length must not be shifted, whatever the architecture.
    const std::uint64_t length = 5000000000ull;
    EXPECT_EQ(L"\nFile: \t\tbig.dfu\nSize: \t\t5000000000 bytes\nDate: \t\tToday",
              FormatWithValues(L"\nFile: \t\t%s\nSize: \t\t%li bytes\nDate: \t\t%s", {L"big.dfu", length, L"Today"}));
}

TEST(Format, MismatchedValuesAreRefused)
{
    EXPECT_THROW(FormatWithValues(L"%s", {5}), FormatError);
    EXPECT_THROW(FormatWithValues(L"%d", {L"five"}), FormatError);
    EXPECT_THROW(FormatWithValues(L"%s %s", {L"one"}), FormatError);
    EXPECT_THROW(FormatWithValues(L"%s", {L"one", L"two"}), FormatError);
    EXPECT_THROW(FormatWithValues(L"%q", {1}), FormatError);
    EXPECT_THROW(FormatWithValues(L"ends in %l", {1}), FormatError);
}

TEST(HResult, Win32CodesMapAsTheComRulesSay)
{
    struct Row {
        long code;
        HRESULT expected;
    } const rows[] = {
        {0, S_OK},
        {ERROR_ACCESS_DENIED, static_cast<HRESULT>(0x80070005)},
        {ERROR_INSUFFICIENT_BUFFER, static_cast<HRESULT>(0x8007007A)},
        {0x12345, static_cast<HRESULT>(0x80072345)},
        {static_cast<long>(E_FAIL), E_FAIL},
        {-1, static_cast<HRESULT>(-1)},
    };
    for (const auto& row : rows) EXPECT_EQ(row.expected, orrelin::HResultFromWin32(row.code)) << row.code;
}

TEST(HResultFromLastError, AFailedCallNeverReadsAsSuccess)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(static_cast<HRESULT>(0x80070002), orrelin::HResultFromLastError());
    SetLastError(0);
    EXPECT_EQ(E_FAIL, orrelin::HResultFromLastError());
    SetLastError(static_cast<DWORD>(E_ACCESSDENIED));
    EXPECT_EQ(E_ACCESSDENIED, orrelin::HResultFromLastError());
}

HRESULT ReturnsEarlyOnFailure(HRESULT first, bool& reachedEnd)
{
    reachedEnd = false;
    RETURN_IF_FAILED(first);
    reachedEnd = true;
    return S_FALSE;
}

HRESULT ReturnsWin32Error(LONG code)
{
    RETURN_IF_WIN32_ERROR(code);
    return S_OK;
}

TEST(HResult, EarlyReturnHelpers)
{
    bool reached = false;
    EXPECT_EQ(E_ACCESSDENIED, ReturnsEarlyOnFailure(E_ACCESSDENIED, reached));
    EXPECT_FALSE(reached);
    EXPECT_EQ(S_FALSE, ReturnsEarlyOnFailure(S_FALSE, reached));
    EXPECT_TRUE(reached);
    EXPECT_EQ(static_cast<HRESULT>(0x80070002), ReturnsWin32Error(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(S_OK, ReturnsWin32Error(ERROR_SUCCESS));
}

TEST(HResult, ComBoundaryTurnsExceptionsIntoResults)
{
    EXPECT_EQ(E_OUTOFMEMORY, orrelin::GuardComBoundary([]() -> HRESULT { throw std::bad_alloc(); }));
    EXPECT_EQ(E_FAIL, orrelin::GuardComBoundary([]() -> HRESULT { throw FormatError("x"); }));
    EXPECT_EQ(S_FALSE, orrelin::GuardComBoundary([] { return S_FALSE; }));
}

}  // namespace
