// The engine asks a file's attributes before it opens the file, and opens nothing of a file
// whose attributes say its data is not on this device: a cloud placeholder would be
// downloaded by the first byte read.
#include "dfu_layout.h"
#include "fake_attributes.h"
#include "file_presence.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#  include "win_file_source.h"
#  include "windows_test_files.h"
#else
#  include "posix_file_source.h"

#  include <unistd.h>
#endif

namespace {

using orrelin::test::FakeAttributes;
using orrelin::test::PresenceRow;

#ifdef _WIN32
using FileSource = korvex::WinFileSource;
using Path = std::wstring;

Path SamplePath()
{
    return enginetest::ProgramDir() + L"\\layout-samples\\plain.dfu";
}
#else
using FileSource = korvex::PosixFileSource;
using Path = std::string;

Path SamplePath()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    std::string dir(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return dir.substr(0, dir.find_last_of('/')) + "/layout-samples/plain.dfu";
}
#endif

using Fake = FakeAttributes<korvex::PathChar>;

class FileOfAttributes : public ::testing::TestWithParam<PresenceRow> {};

TEST_P(FileOfAttributes, IsOpenedOnlyWhenItsDataIsHere)
{
    const Path path = SamplePath();
    const Fake fake(&korvex::ReplaceAttributeQuery, GetParam().attributes);
    FileSource source;
    const bool opened = source.Open(path.c_str());
    EXPECT_EQ(1, Fake::Queries());
    EXPECT_EQ(path, Fake::LastPath());
    EXPECT_EQ(GetParam().here, opened);
    EXPECT_EQ(!GetParam().here, source.NotOnThisDevice());
    if (!opened) {
        // Not a failure of the system's: nothing was asked of the file itself.
        EXPECT_EQ(0u, source.LastError());
        return;
    }
    korvex::DfuLayout layout;
    korvex::ReadDfuLayout(source, layout);
    EXPECT_EQ(korvex::DfuVerdict::kValid, layout.verdict);
}

INSTANTIATE_TEST_SUITE_P(Attributes, FileOfAttributes, ::testing::ValuesIn(orrelin::test::kPresenceRows),
                         orrelin::test::RowName<::testing::TestParamInfo<PresenceRow>>);

// Without a stand-in the system answers; our test files are all here.
TEST(FilePresence, SystemsOwnAnswerOpensALocalFile)
{
    const Path path = SamplePath();
    EXPECT_EQ(0u, korvex::SystemFileAttributes(path.c_str()) & korvex::kNotOnThisDeviceAttributes);
    EXPECT_FALSE(korvex::NotOnThisDevice(path.c_str()));
    FileSource source;
    EXPECT_TRUE(source.Open(path.c_str()));
    EXPECT_FALSE(source.NotOnThisDevice());
}

}  // namespace
