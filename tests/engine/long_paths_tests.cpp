// Which paths the engine rewrites in extended form before opening them.
#include "long_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::wstring kLongName(300, L'n');

struct PathCase {
    const char* label;
    std::wstring path;
    std::wstring opened;
};

class ExtendedLengthPath : public testing::TestWithParam<PathCase> {};

TEST_P(ExtendedLengthPath, AppliesOnlyToLongFullPaths)
{
    EXPECT_EQ(korvex::ExtendedLengthPath(GetParam().path), GetParam().opened);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExtendedLengthPath,
    testing::Values(PathCase{"ShortDrive", L"C:\\fw\\a.dfu", L"C:\\fw\\a.dfu"},
                    PathCase{"JustBelowLimit", L"C:\\" + std::wstring(256, L'x'), L"C:\\" + std::wstring(256, L'x')},
                    PathCase{"AtLimit", L"C:\\" + std::wstring(257, L'x'), L"\\\\?\\C:\\" + std::wstring(257, L'x')},
                    PathCase{"LongDrive", L"D:\\" + kLongName + L"\\a.dfu", L"\\\\?\\D:\\" + kLongName + L"\\a.dfu"},
                    PathCase{"LongUnc", L"\\\\server\\share\\" + kLongName, L"\\\\?\\UNC\\server\\share\\" + kLongName},
                    PathCase{"AlreadyExtended", L"\\\\?\\C:\\" + kLongName, L"\\\\?\\C:\\" + kLongName},
                    PathCase{"DevicePath", L"\\\\.\\" + kLongName, L"\\\\.\\" + kLongName},
                    PathCase{"ForwardSlashes", L"C:/" + kLongName, L"C:/" + kLongName},
                    PathCase{"Relative", L"fw\\" + kLongName, L"fw\\" + kLongName}, PathCase{"Empty", L"", L""}),
    [](const testing::TestParamInfo<PathCase>& row) { return std::string(row.param.label); });

}  // namespace
