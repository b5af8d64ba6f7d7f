#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "KorvexDouble.h"
#include "failure_trace.h"
#include "shell_object.h"

using orrelin::ComPtr;

namespace {

struct Report {
    HRESULT hr;
    std::string function;
    std::string file;
};
std::vector<Report> g_reports;

void Record(HRESULT hr, const orrelin::FailureSite& site)
{
    g_reports.push_back({hr, site.function, site.file});
}

struct Call {
    const char* label;
    bool valid;  // what the engine answers for the file
    std::function<HRESULT(DFUShellExt&)> call;
    HRESULT answer;
    const char* reportedFrom;  // null: nothing reported
};

WCHAR* g_tip = nullptr;

HRESULT InfoTipOfLoadedFile(DFUShellExt& object)
{
    object.Load(L"C:\\firmware\\boot.dfu", 0);
    const HRESULT hr = object.GetInfoTip(0, &g_tip);
    CoTaskMemFree(g_tip);
    g_tip = nullptr;
    return hr;
}

// A failing answer leaves the object reported once, from the method that gave it, however
// deep it arose; a success and an answer the class gives by design are not reported.
class FailureTrace : public ::testing::TestWithParam<Call> {
protected:
    void SetUp() override
    {
        KorvexDouble_Reset();
        previous = orrelin::SetFailureReporter(Record);
    }
    void TearDown() override
    {
        orrelin::SetFailureReporter(previous);
        g_reports.clear();
    }
    orrelin::FailureReporter previous = nullptr;
};

TEST_P(FailureTrace, ReportsEachFailureOnceWhereItLeaves)
{
    const Call& row = GetParam();
    ComPtr<IUnknown> holder;
    DFUShellExt* object = NewShellObject(holder);
    KorvexDouble_SetValid(row.valid);
    g_reports.clear();
    EXPECT_EQ(row.answer, row.call(*object));
    if (row.reportedFrom == nullptr) {
        EXPECT_TRUE(g_reports.empty()) << g_reports.front().function;
        return;
    }
    ASSERT_EQ(1u, g_reports.size());
    EXPECT_EQ(row.answer, g_reports[0].hr);
    EXPECT_EQ(row.reportedFrom, g_reports[0].function);
    EXPECT_EQ("shellext/DFUShellExt.cpp", g_reports[0].file);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FailureTrace,
    testing::Values(
        Call{"InfoTipWithoutOutPointer", true, [](DFUShellExt& o) { return o.GetInfoTip(0, nullptr); }, E_POINTER,
             "GetInfoTip"},
        Call{"InfoTipOfAFileTheEngineRefuses", false, InfoTipOfLoadedFile, E_FAIL, "GetInfoTip"},
        Call{"Load", true, [](DFUShellExt& o) { return o.Load(L"C:\\firmware\\boot.dfu", 0); }, S_OK, nullptr},
        Call{"InfoFlagsByDesign", true, [](DFUShellExt& o) { return o.GetInfoFlags(nullptr); }, E_NOTIMPL, nullptr}),
    [](const testing::TestParamInfo<Call>& row) { return std::string(row.param.label); });

}  // namespace
