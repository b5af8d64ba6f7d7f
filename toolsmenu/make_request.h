// What "Make DFU file…" makes, and the checks of its fields as the user types them: plain
// logic, without a window, so that the dialog only moves texts in and out.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orrelin {

enum class MakeFormat { kPlain, kDfuSe };

enum class InputKind { kUnknown, kBinary, kIntelHex, kSRecords };

// By extension: .bin; .hex and .ihex; .s19, .srec and .mot.
InputKind InputKindOf(const std::wstring& path);

struct MakeRequest {
    std::vector<std::wstring> inputs;
    // One per binary input, in the order of `inputs` (DfuSe only).
    std::vector<std::uint32_t> loadAddresses;
    MakeFormat format = MakeFormat::kDfuSe;
    // 0xFFFF where the field was left empty: the file states none.
    std::uint16_t vendor = 0xFFFF;
    std::uint16_t product = 0xFFFF;
    std::uint16_t release = 0xFFFF;
    std::wstring targetName;  // DfuSe; empty: an unnamed target
    std::uint8_t alternateSetting = 0;
    std::wstring output;
    bool replace = false;  // the user confirmed replacing an existing output
};

// The dialog's fields as typed.
struct MakeFields {
    std::wstring vendor, product, release;
    MakeFormat format = MakeFormat::kDfuSe;
    std::wstring targetName, alternateSetting, loadAddresses, output;
};

// Which field is wrong (its control id) and the string that says why.
struct FieldProblem {
    int control = 0;
    UINT message = 0;
};

// A hexadecimal number with an optional 0x, at most `largest`; spaces around it are ignored.
std::optional<std::uint32_t> ParseHex(const std::wstring& text, std::uint32_t largest);
// Load addresses separated by spaces, commas or semicolons.
std::optional<std::vector<std::uint32_t>> ParseAddresses(const std::wstring& text);

// The number of binary inputs, which each need a load address in a DfuSe file.
std::size_t BinaryCount(const std::vector<std::wstring>& inputs);
// A plain DFU file holds exactly one binary image.
bool PlainAllowed(const std::vector<std::wstring>& inputs);
// The first input's name with .dfu in place of its extension.
std::wstring DefaultOutput(const std::vector<std::wstring>& inputs);

// The first problem of the fields, in the order of the dialog; none when a file can be made.
std::optional<FieldProblem> CheckFields(const std::vector<std::wstring>& inputs, const MakeFields& fields);
// The request of fields that passed CheckFields.
MakeRequest RequestFrom(const std::vector<std::wstring>& inputs, const MakeFields& fields);

// The last values, per user, under HKEY_CURRENT_USER.
extern const wchar_t kMakeSettingsKey[];
MakeFields LoadRememberedFields();
void RememberFields(const MakeFields& fields);

}  // namespace orrelin
