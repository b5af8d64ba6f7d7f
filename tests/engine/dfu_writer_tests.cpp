// The DfuSe builder's refusals, and outputs that appear only when complete.
#include "dfu_writer.h"

#include "dfu_test_support.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>

namespace {

using korvex::DfuError;
using korvex::DfuSeBuilder;
using korvex::Path;
using korvex::PathFromText;

struct RefusalRow {
    const char* what;
    std::function<void(DfuSeBuilder&)> build;
    DfuError::Kind kind;
    const char* message;
};

using Builder = dfutest::ScratchFolder;

TEST_F(Builder, RefusesWhatTheFormatCannotHoldAndOverlaps)
{
    Put("a.bin", dfutest::Payload(256));
    Put("b.bin", dfutest::Payload(16));
    const RefusalRow rows[] = {
        {"overlap",
         [&](DfuSeBuilder& b) {
             b.AddBinary(In("a.bin"), 0x08000000);
             b.AddBinary(In("b.bin"), 0x080000F8);
         },
         DfuError::Kind::kInvalid, "0x08000000-0x080000FF and "},
        {"past 32 bits", [&](DfuSeBuilder& b) { b.AddBinary(In("b.bin"), 0xFFFFFFF8); }, DfuError::Kind::kUsage,
         "reach past 32 bits of address"},
        {"long name", [&](DfuSeBuilder& b) { b.BeginTarget(0, true, std::string(256, 'n')); }, DfuError::Kind::kUsage,
         "target name of 256 bytes"},
        {"256 targets",
         [&](DfuSeBuilder& b) {
             for (int i = 0; i < 256; ++i) b.BeginTarget(0, false, {});
         },
         DfuError::Kind::kUsage, "more than 255 targets"},
        {"no data", [&](DfuSeBuilder& b) { b.BeginTarget(0, false, {}); }, DfuError::Kind::kInvalid,
         "no data in any input"},
    };
    for (const RefusalRow& row : rows) {
        DfuSeBuilder builder(DfuSeBuilder::Ways::kOwn, In("out.dfu"));
        try {
            row.build(builder);
            struct Null final : korvex::ByteOutput {
                void Write(const void*, std::size_t) override {}
            } out;
            builder.Write({}, out);
            ADD_FAILURE() << row.what << ": accepted";
        } catch (const DfuError& error) {
            EXPECT_EQ(error.kind(), row.kind) << row.what;
            EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos)
                << row.what << ": " << error.what();
        }
    }
    // The overlap names both inputs.
    DfuSeBuilder builder(DfuSeBuilder::Ways::kOwn, In("out.dfu"));
    builder.AddBinary(In("a.bin"), 0x100);
    builder.AddBinary(In("b.bin"), 0x1F0);
    EXPECT_THROW(builder.Plan(), DfuError);
}

TEST_F(Builder, MergesContiguousInputsIntoOneElementInOwnWays)
{
    Put("a.bin", dfutest::Payload(100));
    Put("b.bin", dfutest::Payload(50, 2));
    DfuSeBuilder own(DfuSeBuilder::Ways::kOwn, In("out.dfu"));
    own.AddBinary(In("b.bin"), 0x1064);
    own.AddBinary(In("a.bin"), 0x1000);
    const auto targets = own.Plan();
    ASSERT_EQ(targets.size(), 1u);
    ASSERT_EQ(targets[0].elements.size(), 1u);
    EXPECT_EQ(targets[0].elements[0].address, 0x1000u);
    EXPECT_EQ(targets[0].elements[0].size, 150u);
    DfuSeBuilder pack(DfuSeBuilder::Ways::kDfusePack, In("out.dfu"));
    pack.AddBinary(In("b.bin"), 0x1064);
    pack.AddBinary(In("a.bin"), 0x1000);
    EXPECT_EQ(pack.Plan().size(), 2u);
}

TEST_F(Builder, OutputAppearsOnlyOnCommitAndNeverReplacesWithoutForce)
{
    Put("old.dfu", "earlier");
    EXPECT_THROW(korvex::AtomicOutput(In("old.dfu"), false), DfuError);
    {
        korvex::AtomicOutput out(In("old.dfu"), true);
        out.Write("partial", 7);
        // Dropped without a commit, as by a failure.
    }
    {
        korvex::AtomicOutput out(In("new.dfu"), false);
        out.Write("partial", 7);
    }
    EXPECT_EQ(Names(), std::vector<std::string>{"old.dfu"});
    std::ifstream earlier(m_folder + "/old.dfu", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "earlier");
    {
        korvex::AtomicOutput out(In("new.dfu"), false);
        out.Write("complete", 8);
        out.Commit();
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"new.dfu", "old.dfu"}));
}

}  // namespace
