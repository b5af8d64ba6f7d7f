// The .dfu reader on files built in memory: what makes a file valid, the numbers and the
// DfuSe comment it gives, and that no file, however damaged, is read out of bounds.
#include "dfu_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using dfutest::DfuSeFile;
using dfutest::DfuSeImage;
using dfutest::DfuSeTarget;
using dfutest::MemorySource;
using dfutest::Payload;
using dfutest::Read;
using dfutest::SuffixFields;
using dfutest::WithSuffix;

namespace {

struct NumbersCase {
    const char* label;
    std::uint16_t vendor;
    std::uint16_t product;
    std::uint16_t release;
    std::uint16_t dfuVersion;
};

class DfuSuffixNumbers : public testing::TestWithParam<NumbersCase> {};

TEST_P(DfuSuffixNumbers, ReadBackAsWritten)
{
    const NumbersCase& c = GetParam();
    const dfutest::ReadResult result = Read(WithSuffix(Payload(300), c.vendor, c.product, c.release, c.dfuVersion));
    ASSERT_TRUE(result.valid);
    EXPECT_EQ(result.info.vendor, c.vendor);
    EXPECT_EQ(result.info.product, c.product);
    EXPECT_EQ(result.info.release, c.release);
    EXPECT_EQ(result.info.dfuVersion, c.dfuVersion);
    EXPECT_EQ("", result.info.comment);
}

INSTANTIATE_TEST_SUITE_P(Values, DfuSuffixNumbers,
                         testing::Values(NumbersCase{"NotStated", 0xFFFF, 0xFFFF, 0xFFFF, 0x0100},
                                         NumbersCase{"St", 0x0483, 0xDF11, 0x2200, 0x0100},
                                         NumbersCase{"Zeros", 0x0000, 0x0000, 0x0000, 0x0100},
                                         NumbersCase{"DistinctBytes", 0x1234, 0x5678, 0x9ABC, 0x011A},
                                         NumbersCase{"OnlyVendor", 0x1D50, 0xFFFF, 0xFFFF, 0x011A}),
                         [](const testing::TestParamInfo<NumbersCase>& row) { return std::string(row.param.label); });

struct FieldCase {
    const char* label;
    SuffixFields fields;
    std::size_t payloadSize;
    bool valid;
};

SuffixFields Fields(std::uint16_t dfuVersion, const char* signature, std::uint8_t length)
{
    SuffixFields fields;
    fields.dfuVersion = dfuVersion;
    fields.signature = signature;
    fields.length = length;
    return fields;
}

// Each row has a correct CRC, so only the named field decides.
class DfuSuffixFields : public testing::TestWithParam<FieldCase> {};

TEST_P(DfuSuffixFields, DecideValidity)
{
    const FieldCase& c = GetParam();
    EXPECT_EQ(Read(WithSuffix(Payload(c.payloadSize), c.fields)).valid, c.valid);
}

INSTANTIATE_TEST_SUITE_P(Rows, DfuSuffixFields,
                         testing::Values(FieldCase{"Dfu10", Fields(0x0100, "UFD", 16), 10, true},
                                         FieldCase{"DfuSe11a", Fields(0x011A, "UFD", 16), 10, true},
                                         FieldCase{"DfuVersion101", Fields(0x0101, "UFD", 16), 10, false},
                                         FieldCase{"DfuVersion200", Fields(0x0200, "UFD", 16), 10, false},
                                         FieldCase{"DfuVersionByteSwapped", Fields(0x0001, "UFD", 16), 10, false},
                                         FieldCase{"DfuSeVersionByteSwapped", Fields(0x1A01, "UFD", 16), 10, false},
                                         FieldCase{"SignatureInReadingOrder", Fields(0x0100, "DFU", 16), 10, false},
                                         FieldCase{"SignatureLowerCase", Fields(0x0100, "ufd", 16), 10, false},
                                         FieldCase{"LengthZero", Fields(0x0100, "UFD", 0), 10, false},
                                         FieldCase{"LengthFifteen", Fields(0x0100, "UFD", 15), 10, false},
                                         FieldCase{"LengthLongerSuffix", Fields(0x0100, "UFD", 20), 10, true},
                                         FieldCase{"LengthWholeFile", Fields(0x0100, "UFD", 26), 10, true},
                                         FieldCase{"LengthOneMoreThanFile", Fields(0x0100, "UFD", 27), 10, false},
                                         FieldCase{"LengthMax", Fields(0x0100, "UFD", 255), 10, false},
                                         FieldCase{"LengthMaxInLargerFile", Fields(0x0100, "UFD", 255), 300, true},
                                         FieldCase{"SuffixOnly", Fields(0x0100, "UFD", 16), 0, true},
                                         FieldCase{"SuffixOnlyLongerLength", Fields(0x0100, "UFD", 17), 0, false}),
                         [](const testing::TestParamInfo<FieldCase>& row) { return std::string(row.param.label); });

TEST(DfuSuffix, EveryShortFileIsInvalid)
{
    const std::string valid = WithSuffix("");
    for (std::size_t size = 0; size < valid.size(); ++size) {
        MemorySource source(valid.substr(0, size));
        korvex::DfuFileInfo info;
        EXPECT_FALSE(korvex::ReadDfuFile(source, info)) << "size " << size;
        EXPECT_FALSE(source.readOutOfBounds);
    }
}

TEST(DfuSuffix, EverySingleBitFlipIsInvalid)
{
    const std::string valid = WithSuffix(Payload(48), 0x0483, 0xDF11, 0x2200);
    ASSERT_TRUE(Read(valid).valid);
    for (std::size_t at = 0; at < valid.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string damaged = valid;
            damaged[at] = static_cast<char>(damaged[at] ^ (1 << bit));
            EXPECT_FALSE(Read(damaged).valid) << "byte " << at << " bit " << bit;
        }
    }
}

TEST(DfuSuffix, TruncatedFilesAreInvalid)
{
    const std::string valid = WithSuffix(Payload(100));
    for (std::size_t cut = 1; cut <= 16; ++cut)
        EXPECT_FALSE(Read(valid.substr(0, valid.size() - cut)).valid) << "cut " << cut;
    EXPECT_FALSE(Read(valid.substr(1)).valid) << "first byte missing";
}

TEST(DfuSuffix, ExtraBytesAfterSuffixAreInvalid)
{
    EXPECT_FALSE(Read(WithSuffix(Payload(100)) + '\0').valid);
}

struct FailureCase {
    const char* label;
    std::size_t fileSize;
    std::uint64_t failFrom;
};

class DfuSuffixReadFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(DfuSuffixReadFailure, MakesFileInvalid)
{
    const FailureCase& c = GetParam();
    MemorySource source(WithSuffix(Payload(c.fileSize - 16)));
    source.FailReadsFrom(c.failFrom);
    korvex::DfuFileInfo info;
    EXPECT_FALSE(korvex::ReadDfuFile(source, info));
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, DfuSuffixReadFailure,
    testing::Values(FailureCase{"FirstByte", 1000, 0}, FailureCase{"InPayload", 1000, 500},
                    FailureCase{"InSuffix", 1000, 990}, FailureCase{"LastCrcByte", 1000, 999},
                    FailureCase{"SecondChunk", korvex::kReadChunkSize * 2 + 100, korvex::kReadChunkSize + 7},
                    FailureCase{"LastChunk", korvex::kReadChunkSize * 2 + 100, korvex::kReadChunkSize * 2 + 50}),
    [](const testing::TestParamInfo<FailureCase>& row) { return std::string(row.param.label); });

TEST(DfuSuffix, FileThatShrankIsInvalid)
{
    MemorySource source(WithSuffix(Payload(1000)));
    source.ClaimExtraSize(10);
    korvex::DfuFileInfo info;
    EXPECT_FALSE(korvex::ReadDfuFile(source, info));
}

// More than five read chunks, with an odd tail.
const std::string& LargeFile()
{
    static const std::string file = WithSuffix(Payload(5 * 1024 * 1024 + 333, 7), 0x1234, 0x5678, 0x0101);
    return file;
}

TEST(DfuLargeFile, ValidatesReadingEachByteOnceInBoundedChunks)
{
    MemorySource source(LargeFile());
    korvex::DfuFileInfo info;
    ASSERT_TRUE(korvex::ReadDfuFile(source, info));
    EXPECT_EQ(0x1234, info.vendor);
    EXPECT_EQ(0x0101, info.release);
    EXPECT_LE(source.largestRead, korvex::kReadChunkSize);
    // The suffix is read twice (numbers first, then in the CRC pass); nothing else is.
    EXPECT_EQ(source.bytesRead, LargeFile().size() - 4 + 16);
    EXPECT_LE(source.readCalls, LargeFile().size() / korvex::kReadChunkSize + 3);
}

TEST(DfuLargeFile, FlipAtChunkBoundariesIsInvalid)
{
    for (std::size_t at :
         {korvex::kReadChunkSize - 1, korvex::kReadChunkSize, 3 * korvex::kReadChunkSize + 5, LargeFile().size() - 5}) {
        std::string damaged = LargeFile();
        damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
        EXPECT_FALSE(Read(damaged).valid) << "byte " << at;
    }
}

DfuSeTarget Named(const std::string& name)
{
    DfuSeTarget target;
    target.named = true;
    target.name = name;
    target.elements = dfutest::DfuSeElement(0x08000000, Payload(64));
    return target;
}

DfuSeTarget Unnamed(const std::string& leftoverName = "")
{
    DfuSeTarget target;
    target.name = leftoverName;
    target.elements =
        dfutest::DfuSeElement(0x08000000, Payload(32, 3)) + dfutest::DfuSeElement(0x08010000, Payload(16, 4));
    return target;
}

struct CommentCase {
    const char* label;
    std::vector<DfuSeTarget> targets;
    std::string comment;
};

class DfuSeComment : public testing::TestWithParam<CommentCase> {};

TEST_P(DfuSeComment, IsFirstNamedTargetName)
{
    const CommentCase& c = GetParam();
    const dfutest::ReadResult result = Read(DfuSeFile(c.targets));
    ASSERT_TRUE(result.valid);
    EXPECT_EQ(result.info.comment, c.comment);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, DfuSeComment,
    testing::Values(CommentCase{"OneNamed", {Named("ST Bootloader")}, "ST Bootloader"},
                    CommentCase{"UnnamedThenNamed", {Unnamed(), Named("Second")}, "Second"},
                    CommentCase{"UnnamedIgnoresStoredName", {Unnamed("stale"), Named("Real")}, "Real"},
                    CommentCase{"TwoNamed", {Named("First"), Named("Second")}, "First"},
                    CommentCase{"NoneNamed", {Unnamed(), Unnamed()}, ""}, CommentCase{"NoTargets", {}, ""},
                    CommentCase{"NamedEmpty", {Named(""), Named("Later")}, ""},
                    CommentCase{"NameOfFullLength", {Named(std::string(255, 'n'))}, std::string(255, 'n')},
                    CommentCase{"EightBitName", {Named("Carte \xE9lectronique")}, "Carte \xE9lectronique"},
                    CommentCase{"TargetWithoutElements", {DfuSeTarget{true, "Bare", ""}}, "Bare"}),
    [](const testing::TestParamInfo<CommentCase>& row) { return std::string(row.param.label); });

TEST(DfuSeCommentRules, NameEndsAtFirstNul)
{
    std::string image = DfuSeImage({Named("Board")});
    image[dfutest::kFirstTargetAt + 11 + 5 + 1] = 'X';  // past the terminator
    EXPECT_EQ("Board", Read(WithSuffix(image, 0x0483, 0xDF11, 0x0200, 0x011A)).info.comment);
}

TEST(DfuSeCommentRules, NeedsDfuSeVersionInSuffix)
{
    const dfutest::ReadResult result = Read(WithSuffix(DfuSeImage({Named("Board")}), 0x0483, 0xDF11, 0x0200, 0x0100));
    ASSERT_TRUE(result.valid);
    EXPECT_EQ("", result.info.comment);
}

TEST(DfuSeCommentRules, PlainFileWithDfuSeVersionHasNone)
{
    const dfutest::ReadResult result = Read(WithSuffix(Payload(600), 1, 2, 3, 0x011A));
    ASSERT_TRUE(result.valid);
    EXPECT_EQ("", result.info.comment);
}

TEST(DfuSeCommentRules, LaterBrokenTargetDoesNotHideEarlierName)
{
    std::string image = DfuSeImage({Named("Kept"), Unnamed()});
    const std::size_t second = dfutest::kFirstTargetAt + dfutest::kTargetPrefixSize + Named("Kept").elements.size();
    image[second] = 'X';  // "Target" signature of the second target
    EXPECT_EQ("Kept", Read(WithSuffix(image, 1, 2, 3, 0x011A)).info.comment);
}

// A damaged DfuSe layout behind a correct suffix: the file is valid, the comment empty.
struct DamageCase {
    const char* label;
    std::size_t at;
    std::string bytes;
};

class DfuSeDamage : public testing::TestWithParam<DamageCase> {};

std::string Le32Bytes(std::uint32_t value)
{
    std::string bytes;
    dfutest::AppendLe32(bytes, value);
    return bytes;
}

TEST_P(DfuSeDamage, GivesEmptyComment)
{
    const DamageCase& c = GetParam();
    std::string image = DfuSeImage({Unnamed(), Named("Hidden")});
    image.replace(c.at, c.bytes.size(), c.bytes);
    MemorySource source(WithSuffix(image, 0x0483, 0xDF11, 0x0200, 0x011A));
    korvex::DfuFileInfo info;
    ASSERT_TRUE(korvex::ReadDfuFile(source, info));
    EXPECT_EQ("", info.comment);
    EXPECT_FALSE(source.readOutOfBounds);
}

// The damaged image is {Unnamed(), Named("Hidden")}: element sizes 64 and 72.
constexpr std::size_t kUnnamedElementsSize = 64;
constexpr std::size_t kNamedElementsSize = 72;
constexpr std::size_t kSecondTargetAt = dfutest::kFirstTargetAt + dfutest::kTargetPrefixSize + kUnnamedElementsSize;
constexpr std::size_t kImageSize = kSecondTargetAt + dfutest::kTargetPrefixSize + kNamedElementsSize;

INSTANTIATE_TEST_SUITE_P(
    Layouts, DfuSeDamage,
    testing::Values(
        DamageCase{"PrefixSignature", 0, "DfuSf"}, DamageCase{"FormatVersion", 5, std::string(1, '\x02')},
        DamageCase{"ImageSizeBelowPrefix", dfutest::kDfuSeImageSizeAt, Le32Bytes(10)},
        DamageCase{"ImageSizeOneShort", dfutest::kDfuSeImageSizeAt, Le32Bytes(kImageSize - 1)},
        DamageCase{"ImageSizeCutsSecondPrefix", dfutest::kDfuSeImageSizeAt, Le32Bytes(kSecondTargetAt + 100)},
        DamageCase{"CountHidesNamedTarget", dfutest::kDfuSeTargetCountAt, std::string(1, '\x01')},
        DamageCase{"FirstTargetSignature", dfutest::kFirstTargetAt, "target"},
        DamageCase{"FirstTargetSizeTooLarge", dfutest::kFirstTargetAt + dfutest::kTargetSizeAt, Le32Bytes(100000)},
        DamageCase{"FirstTargetSizeHuge", dfutest::kFirstTargetAt + dfutest::kTargetSizeAt, Le32Bytes(0xFFFFFFFF)},
        DamageCase{"FirstTargetSizeNearWrap", dfutest::kFirstTargetAt + dfutest::kTargetSizeAt, Le32Bytes(0xFFFFFEEE)},
        DamageCase{"SecondTargetSignature", kSecondTargetAt, "Tarket"},
        DamageCase{"SecondTargetSizeOneTooMany", kSecondTargetAt + dfutest::kTargetSizeAt,
                   Le32Bytes(kNamedElementsSize + 1)}),
    [](const testing::TestParamInfo<DamageCase>& row) { return std::string(row.param.label); });

TEST(DfuSeDamageSweep, UndamagedImageNamesSecondTarget)
{
    const dfutest::ReadResult result =
        Read(WithSuffix(DfuSeImage({Unnamed(), Named("Hidden")}), 0x0483, 0xDF11, 0x0200, 0x011A));
    ASSERT_TRUE(result.valid);
    EXPECT_EQ("Hidden", result.info.comment);
}

// The targets decide, not a stated size beyond them: some tools count the suffix in it.
TEST(DfuSeDamageSweep, ImageSizeBeyondTargetsStillNames)
{
    for (std::uint32_t stated : {std::uint32_t{kImageSize + 16}, std::uint32_t{5000}, std::uint32_t{0xFFFFFFFF}}) {
        std::string image = DfuSeImage({Unnamed(), Named("Hidden")});
        dfutest::PutLe32(image, dfutest::kDfuSeImageSizeAt, stated);
        MemorySource source(WithSuffix(image, 0x0483, 0xDF11, 0x0200, 0x011A));
        korvex::DfuFileInfo info;
        ASSERT_TRUE(korvex::ReadDfuFile(source, info));
        EXPECT_EQ("Hidden", info.comment) << "stated size " << stated;
        EXPECT_FALSE(source.readOutOfBounds);
    }
}

TEST(DfuSeDamageSweep, CountBeyondPresentTargetsFindsNothing)
{
    std::string image = DfuSeImage({Unnamed(), Unnamed()});
    image[dfutest::kDfuSeTargetCountAt] = 3;
    const dfutest::ReadResult result = Read(WithSuffix(image, 1, 2, 3, 0x011A));
    ASSERT_TRUE(result.valid);
    EXPECT_EQ("", result.info.comment);
}

TEST(DfuSeDamageSweep, EveryTruncatedImageIsReadInBounds)
{
    const std::string image = DfuSeImage({Unnamed(), Named("Whole")});
    for (std::size_t size = 0; size <= image.size(); ++size) {
        MemorySource source(WithSuffix(image.substr(0, size), 1, 2, 3, 0x011A));
        korvex::DfuFileInfo info;
        ASSERT_TRUE(korvex::ReadDfuFile(source, info)) << "size " << size;
        EXPECT_FALSE(source.readOutOfBounds) << "size " << size;
        // Cut anywhere before the end of the named target's elements, no name is given.
        EXPECT_EQ(info.comment, size == image.size() ? "Whole" : "") << "size " << size;
    }
}

TEST(DfuSeDamageSweep, EveryOverwrittenByteIsReadInBounds)
{
    const std::string image = DfuSeImage({Unnamed(), Named("Whole")});
    ASSERT_EQ(kImageSize, image.size());
    for (std::size_t at = 0; at < image.size(); ++at) {
        for (char value : {'\x00', '\x7F', '\xFF'}) {
            std::string damaged = image;
            damaged[at] = value;
            MemorySource source(WithSuffix(damaged, 1, 2, 3, 0x011A));
            korvex::DfuFileInfo info;
            ASSERT_TRUE(korvex::ReadDfuFile(source, info)) << "byte " << at;
            EXPECT_FALSE(source.readOutOfBounds) << "byte " << at;
            EXPECT_LE(info.comment.size(), 255u);
        }
    }
}

}  // namespace
