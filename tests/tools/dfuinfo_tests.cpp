// dfuinfo on a file that is not on this device: it reads nothing, says so in text and in
// JSON, and exits as for a file it could not check.
#include "fake_attributes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#if defined(_WIN32)
#  include "KorvexSeams.h"

#  include <io.h>
#  include <windows.h>
#else
#  include "file_presence.h"

#  include <unistd.h>
#endif

#if defined(_WIN32)
int DfuinfoMain(int argc, wchar_t** argv);
using Char = wchar_t;
#else
int DfuinfoMain(int argc, char** argv);
using Char = char;
#endif

namespace {

using Fake = orrelin::test::FakeAttributes<Char>;
using Text = std::basic_string<Char>;

#if defined(_WIN32)
Text SamplePath()
{
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    Text dir(path, length);
    return dir.substr(0, dir.find_last_of(L'\\')) + L"\\layout-samples\\plain.dfu";
}
Fake::Replace Replace()
{
    return &KorvexReplaceAttributeQuery;
}
#else
Text SamplePath()
{
    return ORRELIN_LAYOUT_SAMPLES "/plain.dfu";
}
Fake::Replace Replace()
{
    return &korvex::ReplaceAttributeQuery;
}
#endif

struct DfuinfoRun {
    int exitCode = -1;
    std::string out;
};

// dfuinfo with `arguments`, its standard output taken into a file of its own.
DfuinfoRun Dfuinfo(std::vector<Text> arguments)
{
    DfuinfoRun run;
    std::FILE* capture = std::tmpfile();
    if (capture == nullptr) return run;
    std::fflush(stdout);
#if defined(_WIN32)
    const int saved = _dup(_fileno(stdout));
    _dup2(_fileno(capture), _fileno(stdout));
    // A console would be written to directly.
    const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(capture))));
#else
    const int saved = dup(fileno(stdout));
    dup2(fileno(capture), fileno(stdout));
#endif
    std::vector<Char*> argv;
    static Char name[] = {'d', 'f', 'u', 'i', 'n', 'f', 'o', 0};
    argv.push_back(name);
    for (Text& argument : arguments) argv.push_back(argument.data());
    run.exitCode = DfuinfoMain(static_cast<int>(argv.size()), argv.data());
    std::fflush(stdout);
#if defined(_WIN32)
    SetStdHandle(STD_OUTPUT_HANDLE, console);
    _dup2(saved, _fileno(stdout));
    _close(saved);
#else
    dup2(saved, fileno(stdout));
    close(saved);
#endif
    std::rewind(capture);
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, capture)) > 0) run.out.append(buffer, got);
    std::fclose(capture);
    return run;
}

struct DfuinfoCase {
    const char* name;
    std::uint32_t attributes;
    bool json;
    const char* says;
    const char* neverSays;
    int exitCode;
};

const DfuinfoCase kCases[] = {
    {"JsonOnlineOnly", orrelin::test::kRecallOnDataAccess, true, "\"verdict\": \"notOnThisDevice\", \"valid\": false",
     "\"suffix\": {", 2},
    {"JsonOffline", orrelin::test::kOffline, true, "\"suffix\": null", "systemError", 2},
    {"TextRecallOnOpen", orrelin::test::kRecallOnOpen, false, "plain.dfu: not on this device", "invalid", 2},
    {"JsonHere", orrelin::test::kArchive, true, "\"verdict\": \"valid\"", "notOnThisDevice", 0},
};

class DfuinfoOfFile : public ::testing::TestWithParam<DfuinfoCase> {};

TEST_P(DfuinfoOfFile, SaysWhetherTheFileWasHere)
{
    const Fake fake(Replace(), GetParam().attributes);
    std::vector<Text> arguments;
    if (GetParam().json) arguments.push_back(Text{'-', '-', 'j', 's', 'o', 'n'});
    arguments.push_back(SamplePath());
    const DfuinfoRun run = Dfuinfo(arguments);
    EXPECT_EQ(GetParam().exitCode, run.exitCode) << run.out;
    EXPECT_NE(std::string::npos, run.out.find(GetParam().says)) << run.out;
    EXPECT_EQ(std::string::npos, run.out.find(GetParam().neverSays)) << run.out;
    EXPECT_EQ(1, Fake::Queries());
}

INSTANTIATE_TEST_SUITE_P(Attributes, DfuinfoOfFile, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
