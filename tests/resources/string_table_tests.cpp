// The string table of Orrelin.dll: every text the shell shows, stored whole under
// English (United Kingdom), in the blocks where the ids put them.
#include "orrelin_dll.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <ostream>
#include <set>
#include <vector>

namespace {

using orrelin::test::LoadOrrelinResources;
using orrelin::test::ResourceBytes;

const LANGID kUkEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);

struct StoredString {
    UINT id;
    std::wstring_view text;
};

const StoredString kStrings[] = {
    {116, L"Device Firmware Upgrade (DFU) file\n"},
    {117, L"Device Firmware Upgrade (DFU) file for Quenlor Halvorn\n"},
    {118, L"\nFile: \t\t%s\nSize: \t\t%li bytes\nDate: \t\t%s"},
    {119, L"\nVendor ID: \t0x%04X"},
    {120, L"\nProduct ID: \t0x%04X"},
    {121, L"\nRelease: \t%X"},
    {122, L"\n\n%s"},
    {132, L"%#c"},
    {148, L"Download to Quenlor Halvorn"},
    {149, L"Download to Quenlor Halvorn via %s"},
    {150, L"Download to %s"},
    {166, L"Download '%s' using the Halvorn Device Firmware Upgrade Wizard"},
    {167, L"Download '%s' via %s using the Halvorn Device Firmware Upgrade Wizard"},
    {168, L"Download '%s' to %s using the Halvorn Device Firmware Upgrade Wizard"},
    {184, L"Halvorn Device Firmware Upgrade Wizard"},
    {185, L"Failed to start program:\n\t%s\n\n%s"},
    {186, L"Unable to determine reason for failure."},
    {200, L"0x%04X"},
    {201, L"%X"},
    {202, L"(unnamed, alternate setting %u)"},
    {210, L"Valid"},
    {211, L"Too short for a DFU suffix"},
    {212, L"No DFU suffix"},
    {213, L"Unknown DFU version"},
    {214, L"Bad DFU suffix length"},
    {215, L"CRC mismatch"},
    {216, L"CRC mismatch: an LPC image prefix was added after the suffix"},
    {217, L"Unreadable"},
    {218, L"Not on this device"},
    {224, L"Vendor ID: 0x%04X"},
    {225, L"Product ID: 0x%04X"},
    {226, L"Release: %X"},
    {227, L"DFU version %s, DfuSe image, targets: %u"},
    {228, L"DFU version %s, %s of firmware without addresses"},
    {229, L"%s: stored CRC 0x%08X, computed 0x%08X"},
    {230, L"%s: %s"},
    {231, L"Alternate setting %u: %s"},
    {232, L"Alternate setting %u, unnamed"},
    {233, L"%s (elements: %u, %s)"},
    {234, L"Targets not shown: %u"},
    {235, L"bytes"},
    {236, L"elements"},
    {237, L"gap"},
    {238, L"overlaps"},
    {239, L"overruns"},
    {240, L"DFU firmware memory map"},
    {241, L"Device Firmware Upgrade (DFU) file"},
    {242, L"Its content is kept online, so nothing of it was read to show it here."},
    {243, L"Opening the file, or choosing to always keep it on this device, brings it here."},
    {260, L"%s:%s"},
    {261, L"%04X"},
    {262, L"----"},
    {270, L"Extract firmware"},
    {271, L"Copy SHA-256"},
    {272, L"Compare"},
    {273, L"Extract the firmware of '%s' into a new folder beside it"},
    {274, L"Copy the SHA-256 of '%s' to the clipboard"},
    {275, L"Compare '%s' with '%s'"},
    {276, L"Extracting firmware"},
    {277, L"Computing SHA-256"},
    {278, L"Comparing DFU files"},
    {279, L"%s (damaged)"},
    {280, L"'%s' is not intact:\n\n%s\n\nExtract the elements it holds whole into a folder marked as damaged?"},
    {281, L"%s failed:\n\n%s"},
    {282, L"Comparison of %s and %s"},
    {283, L"The clipboard could not be opened: %s"},
    {284, L"Not enough memory to finish."},
    {285, L"Make DFU file..."},
    {286, L"Make a DFU file from '%s'"},
    {287, L"Making DFU file"},
    {300, L"Make DFU File"},
    {301, L"Firmware:"},
    {302, L"&Vendor ID (hex):"},
    {303, L"&Product ID (hex):"},
    {304, L"&Release (hex):"},
    {305, L"&DFU file: the image as it is, without addresses"},
    {306, L"Df&uSe file: one element per contiguous run of addresses"},
    {307, L"&Target name:"},
    {308, L"&Alternate setting:"},
    {309, L"&Load address (hex):"},
    {310, L"&Load addresses (hex), one per .bin file:"},
    {311, L"&Output file:"},
    {312, L"OK"},
    {313, L"Cancel"},
    {320, L"Vendor ID: enter a hexadecimal number from 0 to FFFF."},
    {321, L"Product ID: enter a hexadecimal number from 0 to FFFF."},
    {322, L"Release: enter a hexadecimal number from 0 to FFFF."},
    {323, L"Alternate setting: enter a number from 0 to 255."},
    {324, L"Target name: at most 255 bytes."},
    {325, L"Load address: enter hexadecimal addresses from 0 to FFFFFFFF."},
    {326, L"Load address: enter one address for each .bin file (%u)."},
    {327, L"A DFU file holds one .bin image: choose DfuSe for this firmware."},
    {328, L"Output file: enter a file name."},
    {329, L"Output file: this is one of the firmware files."},
    {330, L"%s: not a firmware file that can be made into a DFU file (.bin, .hex, .ihex, .s19, .srec, .mot)."},
    {331, L"%s already exists.\nDo you want to replace it?"},
    {332, L"Making %s"},
    {340, L"DFU file tools"},
};

void PrintTo(const StoredString& entry, std::ostream* out)
{
    *out << "string " << entry.id;
}

// A string table resource holds 16 strings, ids 16 * (block - 1) to 16 * block - 1, each
// a 16-bit length followed by that many characters, without terminators.
std::optional<std::vector<std::wstring>> StringBlock(HMODULE module, UINT block, LANGID language)
{
    auto bytes = ResourceBytes(module, RT_STRING, MAKEINTRESOURCEW(block), language);
    if (!bytes) return std::nullopt;
    std::vector<std::wstring> strings;
    size_t offset = 0;
    for (int slot = 0; slot < 16; ++slot) {
        WORD length = 0;
        if (offset + sizeof length > bytes->size()) return std::nullopt;
        memcpy(&length, bytes->data() + offset, sizeof length);
        offset += sizeof length;
        if (offset + length * sizeof(wchar_t) > bytes->size()) return std::nullopt;
        std::wstring text(length, L'\0');
        memcpy(text.data(), bytes->data() + offset, length * sizeof(wchar_t));
        offset += length * sizeof(wchar_t);
        strings.push_back(std::move(text));
    }
    return strings;
}

UINT BlockOf(UINT id)
{
    return id / 16 + 1;
}

std::set<UINT> BlocksInUse()
{
    std::set<UINT> blocks;
    for (const auto& entry : kStrings) blocks.insert(BlockOf(entry.id));
    return blocks;
}

class StringTableEntry : public ::testing::TestWithParam<StoredString> {
protected:
    void SetUp() override
    {
        m_module = LoadOrrelinResources();
        ASSERT_TRUE(m_module) << "LoadLibraryExW failed: " << GetLastError();
    }
    orrelin::test::UniqueModule m_module;
};

TEST_P(StringTableEntry, IsStoredWholeInUkEnglish)
{
    const StoredString& expected = GetParam();
    auto block = StringBlock(m_module.get(), BlockOf(expected.id), kUkEnglish);
    ASSERT_TRUE(block) << "no well-formed UK English block " << BlockOf(expected.id);
    EXPECT_EQ((*block)[expected.id % 16], expected.text);
}

// The code loads by id without naming a language; that road must find the same text.
TEST_P(StringTableEntry, LoadsByIdAsStored)
{
    const StoredString& expected = GetParam();
    const wchar_t* text = nullptr;
    int length = LoadStringW(m_module.get(), expected.id, reinterpret_cast<LPWSTR>(&text), 0);
    ASSERT_GT(length, 0);
    EXPECT_EQ(std::wstring_view(text, length), expected.text);
}

INSTANTIATE_TEST_SUITE_P(StringTable, StringTableEntry, ::testing::ValuesIn(kStrings),
                         [](const ::testing::TestParamInfo<StoredString>& row) {
                             return "Id" + std::to_string(row.param.id);
                         });

TEST(StringTable, BlocksHoldNoOtherStrings)
{
    auto module = LoadOrrelinResources();
    ASSERT_TRUE(module);
    std::map<UINT, std::wstring_view> expected;
    for (const auto& entry : kStrings) expected[entry.id] = entry.text;
    for (UINT block : BlocksInUse()) {
        auto strings = StringBlock(module.get(), block, kUkEnglish);
        ASSERT_TRUE(strings) << "block " << block;
        for (UINT slot = 0; slot < 16; ++slot) {
            UINT id = (block - 1) * 16 + slot;
            if (!expected.count(id)) {
                EXPECT_TRUE((*strings)[slot].empty()) << "unexpected string " << id;
            }
        }
    }
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR context)
{
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::set<UINT>*>(context)->insert(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)));
    else
        reinterpret_cast<std::set<UINT>*>(context)->insert(0);
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context)
{
    reinterpret_cast<std::set<LANGID>*>(context)->insert(language);
    return TRUE;
}

// A second language or a stray block would let the platform's language choice hand the
// shell a text other than these.
TEST(StringTable, HasOnlyTheseBlocksInOnlyUkEnglish)
{
    auto module = LoadOrrelinResources();
    ASSERT_TRUE(module);
    std::set<UINT> blocks;
    EnumResourceNamesW(module.get(), RT_STRING, CollectName, reinterpret_cast<LONG_PTR>(&blocks));
    EXPECT_EQ(blocks, BlocksInUse());
    for (UINT block : blocks) {
        std::set<LANGID> languages;
        EnumResourceLanguagesW(module.get(), RT_STRING, MAKEINTRESOURCEW(block), CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::set<LANGID>{kUkEnglish}) << "block " << block;
    }
}

}  // namespace
