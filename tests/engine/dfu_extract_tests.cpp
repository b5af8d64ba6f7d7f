// Taking apart a file that is not intact: refused unless asked for, and then only what the
// file holds whole comes out.
#include "dfu_extract.h"

#include "dfu_test_support.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

namespace {

using dfutest::DfuSeElement;

// A DfuSe file whose second element states more bytes than the file holds, with a suffix
// whose CRC is right: intact by its CRC, broken in its structure.
std::string Overrunning(const std::string& first, const std::string& second)
{
    std::string image =
        dfutest::DfuSeImage({{false, "", DfuSeElement(0x1000, first) + DfuSeElement(0x2000, second), 2}});
    const std::size_t secondSizeAt = image.size() - second.size() - 4;
    dfutest::PutLe32(image, secondSizeAt, static_cast<std::uint32_t>(second.size() + 1000));
    return dfutest::WithSuffix(image, 0x0483, 0xDF11, 0, 0x011A);
}

std::string CrcBroken(std::string file)
{
    file[file.size() / 2] = static_cast<char>(file[file.size() / 2] ^ 1);
    return file;
}

struct DamagedRow {
    const char* what;
    std::string file;
    std::vector<std::string> names;  // what comes out when asked; empty: refused even then
    std::vector<std::string> contents;
    std::uint64_t dropped;
};

using DamagedExtract = dfutest::ScratchFolder;

TEST_F(DamagedExtract, OnlyWhenAskedAndOnlyWhatTheFileHolds)
{
    const std::string image = dfutest::Payload(300);
    const std::string first = dfutest::Payload(40, 2), second = dfutest::Payload(24, 3);
    const std::string crcBroken = CrcBroken(dfutest::WithSuffix(image));
    const DamagedRow rows[] = {
        {"plain, wrong CRC", crcBroken, {"out.bin"}, {crcBroken.substr(0, image.size())}, 0},
        {"DfuSe, wrong CRC",
         CrcBroken(dfutest::DfuSeFile({{false, "", DfuSeElement(0x1000, first)}})),
         {"out.target0.00001000.bin"},
         {CrcBroken(dfutest::DfuSeFile({{false, "", DfuSeElement(0x1000, first)}})).substr(293, 40)},
         0},
        {"DfuSe, an element past the image", Overrunning(first, second), {"out.target0.00001000.bin"}, {first}, 1},
        {"no suffix", image, {}, {}, 0},
    };
    for (const DamagedRow& row : rows) {
        SCOPED_TRACE(row.what);
        Put("in.dfu", row.file);
        korvex::InputFile file(In("in.dfu"));
        EXPECT_THROW(korvex::ReadValidLayout(file), korvex::DfuError);
        std::uint64_t dropped = 99;
        if (row.names.empty()) {
            EXPECT_THROW(korvex::ReadDamagedLayout(file, dropped), korvex::DfuError);
            EXPECT_EQ(Names(), std::vector<std::string>{"in.dfu"});
            continue;
        }
        const korvex::DfuLayout layout = korvex::ReadDamagedLayout(file, dropped);
        EXPECT_EQ(dropped, row.dropped);
        korvex::ExtractRequest request;
        request.prefix = In("out");
        korvex::Extract(file, layout, request);
        std::vector<std::string> expected = row.names;
        expected.push_back("in.dfu");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Names(), expected);
        for (std::size_t i = 0; i < row.names.size(); ++i) EXPECT_EQ(Get(row.names[i]), row.contents[i]);
        for (const std::string& name : row.names) std::remove((m_folder + "/" + name).c_str());
    }
}

}  // namespace
