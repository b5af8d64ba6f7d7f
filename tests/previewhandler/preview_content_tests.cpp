// What the preview says of a file, in the words of the library's own string table: the
// title, the header's lines, and each target's heading and marks, for layouts laid out as
// the engine hands them over.
#include "preview_content.h"

#include <gtest/gtest.h>

#include "handles.h"
#include "module_state.h"
#include "registered_library.h"

using orrelin::test::ProgramFolder;

namespace {

KorvexDfuElement Element(std::uint32_t address, std::uint32_t length)
{
    return {sizeof(KorvexDfuElement), address, length, 0, 0};
}

KorvexDfuFinding Overrun(std::uint32_t kind, std::uint32_t target, std::uint32_t element)
{
    return {sizeof(KorvexDfuFinding), kind, target, element, 0, 0, 0, 0};
}

// A valid DfuSe image: "Option Bytes" at alternate setting 3 with both of its elements
// listed, the second overrunning the image; and an unnamed target at 0 that lists one of
// its five. A finding whose indices name nothing marks nothing.
struct DfuSeImage {
    KorvexDfuElement named[2] = {Element(0x08000000, 16), Element(0x08000010, 64)};
    KorvexDfuElement unnamed[1] = {Element(0x20000000, 1536)};
    KorvexDfuTarget targets[2] = {};
    KorvexDfuFinding findings[2] = {Overrun(KORVEX_FINDING_ELEMENT_OVERRUNS_IMAGE, 0, 1),
                                    Overrun(KORVEX_FINDING_ELEMENT_OVERRUNS_TARGET, 5, 9)};
    KorvexDfuLayout layout = {};

    DfuSeImage()
    {
        for (KorvexDfuTarget& target : targets) target.size = sizeof(target);
        targets[0].alternateSetting = 3;
        targets[0].named = 1;
        targets[0].wideName = L"Option Bytes";
        targets[0].elementCount = 2;
        targets[0].listedElementCount = 2;
        targets[0].elements = named;
        targets[1].elementCount = 5;
        targets[1].listedElementCount = 1;
        targets[1].elements = unnamed;
        layout.size = sizeof(layout);
        layout.verdict = KORVEX_DFU_VALID;
        layout.flags = KORVEX_DFU_DFUSE;
        layout.dfuVersion = 0x011A;
        layout.vendor = 0x0483;
        layout.product = KORVEX_NOT_STATED;
        layout.release = 0x2200;
        layout.targetCount = 2;
        layout.targets = targets;
        layout.findingCount = 2;
        layout.findings = findings;
    }
};

class PreviewContentTest : public ::testing::Test {
protected:
    orrelin::UniqueModule m_strings{
        LoadLibraryExW((ProgramFolder() + L"Orrelin.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)};
    orrelin::ModuleStateGuard m_guard{m_strings.get()};
};

TEST_F(PreviewContentTest, HeadsEachTargetAndMarksItsOverruns)
{
    ASSERT_TRUE(m_strings);
    DfuSeImage image;
    const orrelin::PreviewContent content = orrelin::PreviewContentOf(&image.layout, L"firmware.dfu");
    EXPECT_EQ(L"firmware.dfu", content.title);
    EXPECT_EQ(L"Vendor ID: 0x0483    Release: 2200", content.numbers);
    EXPECT_EQ(L"Valid", content.verdict);
    EXPECT_TRUE(content.valid);
    ASSERT_EQ(2u, content.targets.size());
    EXPECT_EQ(L"Alternate setting 3: Option Bytes (elements: 2, 80 bytes)", content.targets[0].heading);
    EXPECT_EQ(L"Alternate setting 0, unnamed (elements: 5, 1.5 KiB)", content.targets[1].heading);
    ASSERT_EQ(2u, content.targets[0].elements.size());
    EXPECT_EQ(0u, content.targets[0].elements[0].marks);
    EXPECT_EQ(orrelin::kMapOverrun, content.targets[0].elements[1].marks);
    EXPECT_EQ(64u, content.targets[0].elements[1].length);
    ASSERT_EQ(1u, content.targets[1].elements.size());
    EXPECT_EQ(0x20000000u, content.targets[1].elements[0].address);

    // Without a DfuSe image the same targets are no map.
    image.layout.flags = 0;
    EXPECT_TRUE(orrelin::PreviewContentOf(&image.layout, L"firmware.dfu").targets.empty());
}

// The title is the file's name as the stream states it, else the file type's name.
TEST_F(PreviewContentTest, TitlesTheFileOrItsType)
{
    ASSERT_TRUE(m_strings);
    const struct {
        const wchar_t* fileName;
        const wchar_t* title;
    } rows[] = {
        {L"firmware.dfu", L"firmware.dfu"},
        {L"", L"Device Firmware Upgrade (DFU) file"},
    };
    DfuSeImage image;
    for (const auto& row : rows) {
        EXPECT_EQ(row.title, orrelin::PreviewContentOf(&image.layout, row.fileName).title);
        EXPECT_EQ(row.title, orrelin::PreviewContentOf(nullptr, row.fileName).title);
    }
}

// What the header says in place of the numbers and the version when there are none.
TEST_F(PreviewContentTest, SaysWhyAFileThatCouldNotBeReadShowsNothing)
{
    ASSERT_TRUE(m_strings);
    const struct {
        std::uint32_t verdict;
        std::uint32_t systemError;
        const wchar_t* verdictText;
        const wchar_t* numbers;
        const wchar_t* version;
        bool elsewhere;
    } rows[] = {
        {KORVEX_DFU_NOT_ON_THIS_DEVICE, 0, L"Not on this device",
         L"Its content is kept online, so nothing of it was read to show it here.",
         L"Opening the file, or choosing to always keep it on this device, brings it here.", true},
        {KORVEX_DFU_UNREADABLE, ERROR_ACCESS_DENIED, nullptr, L"", L"", false},
        {KORVEX_DFU_NO_SUFFIX, 0, L"No DFU suffix", L"", L"", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.verdict);
        // Whatever else a layout of such a verdict held, no map is drawn from it.
        DfuSeImage image;
        image.layout.verdict = row.verdict;
        image.layout.systemError = row.systemError;
        const orrelin::PreviewContent content = orrelin::PreviewContentOf(&image.layout, L"firmware.dfu");
        if (row.verdictText != nullptr) {
            EXPECT_EQ(row.verdictText, content.verdict);
        }
        if (row.verdictText == nullptr) {
            EXPECT_EQ(0u, content.verdict.find(L"Unreadable: "));
        }
        EXPECT_EQ(row.numbers, content.numbers);
        EXPECT_EQ(row.version, content.version);
        EXPECT_EQ(row.elsewhere, content.elsewhere);
        EXPECT_FALSE(content.valid);
        if (row.elsewhere) {
            EXPECT_TRUE(content.targets.empty());
        }
    }
}

}  // namespace
