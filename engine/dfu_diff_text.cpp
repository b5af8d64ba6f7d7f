#include "dfu_diff_text.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

namespace korvex {
namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    return text;
}

std::string FieldText(const FieldDifference& field, const char* indent)
{
    if (field.field == "name") return std::string(indent) + "name differs\n";
    return Format("%s%-16s 0x%" PRIX64 " -> 0x%" PRIX64 "\n", indent, field.field.c_str(), field.a, field.b);
}

}  // namespace

std::string DiffText(const DfuDifference& diff, const std::string& nameA, const std::string& nameB)
{
    if (diff.Same()) return nameA + " and " + nameB + " are the same firmware\n";
    std::string out = nameA + " and " + nameB + " differ\n";
    for (const auto& field : diff.fields) out += FieldText(field, "  ");
    for (const auto& target : diff.targets) {
        out += Format("  Target %u", target.index);
        if (!target.inA || !target.inB) {
            out += " only in " + (target.inA ? nameA : nameB) + "\n";
            continue;
        }
        out += Format(": %" PRIu64 " range%s differ, %" PRIu64 " bytes\n", target.differingRanges,
                      target.differingRanges == 1 ? "" : "s", target.differingBytes);
        for (const auto& field : target.fields) out += FieldText(field, "    ");
        for (const auto& r : target.differing)
            out +=
                Format("    0x%08" PRIX64 "  length %" PRIu64 "  %" PRIu64 " differ\n", r.address, r.length, r.count);
        if (target.differingRanges > target.differing.size())
            out += Format("    and %" PRIu64 " more ranges\n", target.differingRanges - target.differing.size());
        for (const auto& r : target.onlyInA)
            out += Format("    only in %s: 0x%08" PRIX64 "  length %" PRIu64 "\n", nameA.c_str(), r.address, r.length);
        for (const auto& r : target.onlyInB)
            out += Format("    only in %s: 0x%08" PRIX64 "  length %" PRIu64 "\n", nameB.c_str(), r.address, r.length);
        if (target.onlyInARanges > target.onlyInA.size())
            out += Format("    and %" PRIu64 " more ranges only in %s\n", target.onlyInARanges - target.onlyInA.size(),
                          nameA.c_str());
        if (target.onlyInBRanges > target.onlyInB.size())
            out += Format("    and %" PRIu64 " more ranges only in %s\n", target.onlyInBRanges - target.onlyInB.size(),
                          nameB.c_str());
    }
    return out;
}

}  // namespace korvex
