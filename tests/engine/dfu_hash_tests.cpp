// SHA-256 of each element's data against the published digests of known bytes (FIPS 180-2's
// examples), with elements that cross the engine's read pieces, and of the whole file.
#include "dfu_extract.h"
#include "dfu_hash.h"

#include "dfu_test_support.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

namespace {

const std::string kAbc = "abc";
const std::string kTwoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string kMillionA(1000000, 'a');
constexpr char kAbcDigest[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char kTwoBlocksDigest[] = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
constexpr char kMillionADigest[] = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
constexpr char kEmptyDigest[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

struct Expected {
    std::uint32_t target;
    std::uint32_t address;
    std::uint64_t size;
    const char* digest;
};

struct HashRow {
    const char* what;
    std::string file;
    std::vector<Expected> elements;
};

using DfuHash = dfutest::ScratchFolder;

TEST_F(DfuHash, DigestsOfEachElementAndOfTheWholeFile)
{
    using dfutest::DfuSeElement;
    const HashRow rows[] = {
        {"plain image", dfutest::WithSuffix(kAbc), {{korvex::kNoIndex, 0, 3, kAbcDigest}}},
        {"empty plain image", dfutest::WithSuffix(""), {{korvex::kNoIndex, 0, 0, kEmptyDigest}}},
        // The second element crosses the first 1 MiB piece; the empty one sits between two.
        {"DfuSe targets",
         dfutest::DfuSeFile({{true, "first",
                              DfuSeElement(0x08000000, kMillionA) + DfuSeElement(0x08100000, kMillionA) +
                                  DfuSeElement(0x08200000, "") + DfuSeElement(0x20000000, kAbc),
                              4},
                             {false, "", DfuSeElement(0, kTwoBlocks)}}),
         {{0, 0x08000000, 1000000, kMillionADigest},
          {0, 0x08100000, 1000000, kMillionADigest},
          {0, 0x08200000, 0, kEmptyDigest},
          {0, 0x20000000, 3, kAbcDigest},
          {1, 0, 56, kTwoBlocksDigest}}},
    };
    for (const HashRow& row : rows) {
        SCOPED_TRACE(row.what);
        Put("in.dfu", row.file);
        korvex::InputFile file(In("in.dfu"));
        const korvex::DfuDigests digests = korvex::HashDfuFile(file, korvex::ReadValidLayout(file));
        ASSERT_EQ(digests.elements.size(), row.elements.size());
        for (std::size_t i = 0; i < row.elements.size(); ++i) {
            SCOPED_TRACE(i);
            const korvex::ElementDigest& got = digests.elements[i];
            EXPECT_EQ(got.target, row.elements[i].target);
            EXPECT_EQ(got.address, row.elements[i].address);
            EXPECT_EQ(got.size, row.elements[i].size);
            EXPECT_EQ(korvex::HexDigest(got.digest), row.elements[i].digest);
        }
        // The whole file, hashed on its own in one piece.
        korvex::Sha256 whole;
        whole.Update(row.file.data(), row.file.size());
        EXPECT_EQ(korvex::HexDigest(digests.file), korvex::HexDigest(whole.Final()));
    }
}

}  // namespace
