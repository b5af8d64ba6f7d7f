// The test double's layout operations: the default answer, a scripted layout handed out as
// copies the caller frees, scripted failures, and a caller's reader that fails.
#include "KorvexDouble.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class KorvexDoubleLayout : public testing::Test {
protected:
    void SetUp() override { KorvexDouble_Reset(); }
    void TearDown() override { KorvexDouble_Reset(); }
};

TEST_F(KorvexDoubleLayout, DefaultIsAValidPlainFile)
{
    KorvexDfuLayout* layout = nullptr;
    ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayout(L"C:\\fw.dfu", &layout));
    ASSERT_NE(nullptr, layout);
    EXPECT_EQ(layout->verdict, static_cast<std::uint32_t>(KORVEX_DFU_VALID));
    EXPECT_EQ(0xFFFF, layout->vendor);
    EXPECT_EQ(0u, layout->targetCount);
    EXPECT_EQ(1, KorvexDouble_LiveLayoutCount());
    EXPECT_STREQ(KorvexDouble_LastLayoutPath(), L"C:\\fw.dfu");
    KorvexFreeDfuLayout(layout);
    EXPECT_EQ(0, KorvexDouble_LiveLayoutCount());
    EXPECT_EQ(1, KorvexDouble_LayoutReadCount());
}

TEST_F(KorvexDoubleLayout, AnswersACopyOfWhatWasSet)
{
    KorvexDfuElement elements[2] = {{sizeof(KorvexDfuElement), 0x08000000, 0x4000, 0, 300},
                                    {sizeof(KorvexDfuElement), 0x1FFF0000, 0x20, 0, 0x4200}};
    KorvexDfuTarget target = {};
    target.size = sizeof target;
    target.alternateSetting = 1;
    target.named = 1;
    target.name = "Flash";
    target.nameLength = 5;
    target.wideName = L"Flash \u00E9";
    target.elementCount = target.listedElementCount = 2;
    target.elements = elements;
    KorvexDfuFinding finding = {sizeof(KorvexDfuFinding), KORVEX_FINDING_ELEMENTS_OVERLAP, 0, 0, 1, 0, 0, 0};
    KorvexDfuLayout scripted = {};
    scripted.size = sizeof scripted;
    scripted.verdict = KORVEX_DFU_CRC_MISMATCH;
    scripted.storedCrc = 0x12345678;
    scripted.flags = KORVEX_DFU_DFUSE;
    scripted.targetCount = 1;
    scripted.targets = &target;
    scripted.findingCount = 1;
    scripted.findings = &finding;
    KorvexDouble_SetLayout(&scripted);
    elements[1].address = 0;  // the double answers its own copy
    target.wideName = L"changed";

    KorvexDfuLayout* layout = nullptr;
    ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayout(L"C:\\fw.dfu", &layout));
    EXPECT_EQ(layout->verdict, static_cast<std::uint32_t>(KORVEX_DFU_CRC_MISMATCH));
    EXPECT_EQ(0x12345678u, layout->storedCrc);
    ASSERT_EQ(1u, layout->targetCount);
    const KorvexDfuTarget& answered = *KorvexDfuTargetAt(layout, 0);
    EXPECT_EQ(1u, answered.alternateSetting);
    EXPECT_STREQ(answered.name, "Flash");
    EXPECT_STREQ(answered.wideName, L"Flash \u00E9");
    ASSERT_EQ(2u, answered.listedElementCount);
    EXPECT_EQ(0x1FFF0000u, KorvexDfuElementAt(&answered, 1)->address);
    EXPECT_EQ(0x4200u, KorvexDfuElementAt(&answered, 1)->dataOffset);
    ASSERT_EQ(1u, layout->findingCount);
    EXPECT_EQ(1u, KorvexDfuFindingAt(layout, 0)->otherElement);

    KorvexDfuLayout* second = nullptr;
    ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayout(L"C:\\other.dfu", &second));
    EXPECT_NE(second, layout);
    EXPECT_EQ(2, KorvexDouble_LiveLayoutCount());
    KorvexFreeDfuLayout(layout);
    KorvexFreeDfuLayout(second);
    EXPECT_EQ(0, KorvexDouble_LiveLayoutCount());
}

TEST_F(KorvexDoubleLayout, ScriptedResultGivesNoLayout)
{
    KorvexDouble_SetLayoutResult(KORVEX_OUT_OF_MEMORY);
    KorvexDfuLayout* layout = reinterpret_cast<KorvexDfuLayout*>(1);
    EXPECT_EQ(KORVEX_OUT_OF_MEMORY, KorvexReadDfuLayout(L"C:\\fw.dfu", &layout));
    EXPECT_EQ(nullptr, layout);
    EXPECT_EQ(0, KorvexDouble_LiveLayoutCount());
}

uint32_t KORVEX_CALL FailingRead(void* context, uint64_t offset, uint32_t count, void*)
{
    *static_cast<std::uint64_t*>(context) = offset + count;
    return 0x8003001Eu;
}

uint32_t KORVEX_CALL ZeroRead(void*, uint64_t, uint32_t count, void* buffer)
{
    std::memset(buffer, 0, count);
    return 0;
}

TEST_F(KorvexDoubleLayout, ReaderThatFailsGivesUnreadable)
{
    std::uint64_t readTo = 0;
    KorvexDfuLayout* layout = nullptr;
    ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayoutFrom(1000, &FailingRead, &readTo, &layout));
    EXPECT_EQ(1000u, readTo);
    EXPECT_EQ(layout->verdict, static_cast<std::uint32_t>(KORVEX_DFU_UNREADABLE));
    EXPECT_EQ(0x8003001Eu, layout->systemError);
    KorvexFreeDfuLayout(layout);

    ASSERT_EQ(KORVEX_OK, KorvexReadDfuLayoutFrom(1000, &ZeroRead, nullptr, &layout));
    EXPECT_EQ(layout->verdict, static_cast<std::uint32_t>(KORVEX_DFU_VALID));
    KorvexFreeDfuLayout(layout);
    EXPECT_EQ(2, KorvexDouble_LayoutReadCount());
}

}  // namespace
