#include "make_request.h"

#include "handles.h"
#include "path.h"
#include "resource.h"

#include <algorithm>
#include <cwctype>

namespace orrelin {
namespace {

std::wstring LowerExtension(const std::wstring& path)
{
    const std::wstring leaf = SplitPath(path).leaf;
    const size_t dot = leaf.rfind(L'.');
    if (dot == std::wstring::npos) return std::wstring();
    std::wstring extension = leaf.substr(dot);
    for (wchar_t& c : extension) c = static_cast<wchar_t>(std::towlower(c));
    return extension;
}

std::wstring Trimmed(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// Empty: the file states no number.
bool NumberOrEmpty(const std::wstring& text, std::uint16_t& value)
{
    if (Trimmed(text).empty()) {
        value = 0xFFFF;
        return true;
    }
    const auto parsed = ParseHex(text, 0xFFFF);
    if (parsed) value = static_cast<std::uint16_t>(*parsed);
    return parsed.has_value();
}

std::optional<std::uint8_t> ParseAlternate(const std::wstring& text)
{
    const std::wstring digits = Trimmed(text);
    if (digits.empty() || digits.size() > 3) return std::nullopt;
    unsigned value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    if (value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

size_t Utf8Length(const std::wstring& text)
{
    if (text.empty()) return 0;
    return static_cast<size_t>(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr));
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

InputKind InputKindOf(const std::wstring& path)
{
    const std::wstring extension = LowerExtension(path);
    if (extension == L".bin") return InputKind::kBinary;
    if (extension == L".hex" || extension == L".ihex") return InputKind::kIntelHex;
    if (extension == L".s19" || extension == L".srec" || extension == L".mot") return InputKind::kSRecords;
    return InputKind::kUnknown;
}

std::optional<std::uint32_t> ParseHex(const std::wstring& text, std::uint32_t largest)
{
    std::wstring digits = Trimmed(text);
    if (digits.size() > 2 && digits[0] == L'0' && (digits[1] == L'x' || digits[1] == L'X')) digits.erase(0, 2);
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : digits) {
        if (!std::iswxdigit(c) || c > 0x7F) return std::nullopt;
        const unsigned digit =
            c <= L'9' ? static_cast<unsigned>(c - L'0') : static_cast<unsigned>((c | 0x20) - L'a' + 10);
        value = value * 16 + digit;
        if (value > largest) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::vector<std::uint32_t>> ParseAddresses(const std::wstring& text)
{
    std::vector<std::uint32_t> addresses;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find_first_of(L" \t,;", start), text.size());
        if (end > start) {
            const auto address = ParseHex(text.substr(start, end - start), 0xFFFFFFFFu);
            if (!address) return std::nullopt;
            addresses.push_back(*address);
        }
        start = end + 1;
    }
    return addresses;
}

std::size_t BinaryCount(const std::vector<std::wstring>& inputs)
{
    return static_cast<std::size_t>(std::count_if(inputs.begin(), inputs.end(), [](const std::wstring& input) {
        return InputKindOf(input) == InputKind::kBinary;
    }));
}

bool PlainAllowed(const std::vector<std::wstring>& inputs)
{
    return inputs.size() == 1 && InputKindOf(inputs[0]) == InputKind::kBinary;
}

std::wstring DefaultOutput(const std::vector<std::wstring>& inputs)
{
    if (inputs.empty()) return std::wstring();
    const PathParts parts = SplitPath(inputs[0]);
    const size_t dot = parts.leaf.rfind(L'.');
    return parts.folder + (dot == std::wstring::npos || dot == 0 ? parts.leaf : parts.leaf.substr(0, dot)) + L".dfu";
}

std::optional<FieldProblem> CheckFields(const std::vector<std::wstring>& inputs, const MakeFields& fields)
{
    std::uint16_t number = 0;
    if (!NumberOrEmpty(fields.vendor, number)) return FieldProblem{IDC_MAKE_VENDOR, IDS_MAKE_BAD_VENDOR};
    if (!NumberOrEmpty(fields.product, number)) return FieldProblem{IDC_MAKE_PRODUCT, IDS_MAKE_BAD_PRODUCT};
    if (!NumberOrEmpty(fields.release, number)) return FieldProblem{IDC_MAKE_RELEASE, IDS_MAKE_BAD_RELEASE};
    if (fields.format == MakeFormat::kPlain) {
        if (!PlainAllowed(inputs)) return FieldProblem{IDC_MAKE_PLAIN, IDS_MAKE_PLAIN_NEEDS_BINARY};
    } else {
        if (Utf8Length(fields.targetName) > 255) return FieldProblem{IDC_MAKE_TARGET_NAME, IDS_MAKE_BAD_TARGET_NAME};
        if (!ParseAlternate(fields.alternateSetting)) return FieldProblem{IDC_MAKE_ALTERNATE, IDS_MAKE_BAD_ALTERNATE};
        const auto addresses = ParseAddresses(fields.loadAddresses);
        if (!addresses) return FieldProblem{IDC_MAKE_ADDRESS, IDS_MAKE_BAD_ADDRESS};
        if (addresses->size() != BinaryCount(inputs)) return FieldProblem{IDC_MAKE_ADDRESS, IDS_MAKE_ADDRESS_COUNT};
    }
    const std::wstring output = Trimmed(fields.output);
    if (output.empty() || SplitPath(output).leaf.empty()) return FieldProblem{IDC_MAKE_OUTPUT, IDS_MAKE_NO_OUTPUT};
    for (const std::wstring& input : inputs)
        if (SamePath(input, output)) return FieldProblem{IDC_MAKE_OUTPUT, IDS_MAKE_OUTPUT_IS_INPUT};
    return std::nullopt;
}

MakeRequest RequestFrom(const std::vector<std::wstring>& inputs, const MakeFields& fields)
{
    MakeRequest request;
    request.inputs = inputs;
    request.format = fields.format;
    NumberOrEmpty(fields.vendor, request.vendor);
    NumberOrEmpty(fields.product, request.product);
    NumberOrEmpty(fields.release, request.release);
    if (fields.format == MakeFormat::kDfuSe) {
        request.targetName = fields.targetName;
        request.alternateSetting = ParseAlternate(fields.alternateSetting).value_or(0);
        request.loadAddresses = ParseAddresses(fields.loadAddresses).value_or(std::vector<std::uint32_t>());
    }
    request.output = Trimmed(fields.output);
    return request;
}

const wchar_t kMakeSettingsKey[] = L"Software\\Orrelin\\Make DFU file";

namespace {

const struct {
    const wchar_t* name;
    std::wstring MakeFields::*field;
} kRememberedTexts[] = {
    {L"Vendor", &MakeFields::vendor},
    {L"Product", &MakeFields::product},
    {L"Release", &MakeFields::release},
    {L"TargetName", &MakeFields::targetName},
    {L"AlternateSetting", &MakeFields::alternateSetting},
    {L"LoadAddresses", &MakeFields::loadAddresses},
};

}  // namespace

MakeFields LoadRememberedFields()
{
    MakeFields fields;
    fields.alternateSetting = L"0";
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kMakeSettingsKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return fields;
    const HKEY opened = key.get();
    for (const auto& remembered : kRememberedTexts) {
        wchar_t text[1024];
        DWORD size = sizeof(text) - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(opened, remembered.name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            text[size / sizeof(wchar_t)] = L'\0';
            fields.*remembered.field = text;
        }
    }
    DWORD format = 0, size = sizeof(format), type = 0;
    if (RegQueryValueExW(opened, L"Format", nullptr, &type, reinterpret_cast<BYTE*>(&format), &size) == ERROR_SUCCESS &&
        type == REG_DWORD)
        fields.format = format == 0 ? MakeFormat::kPlain : MakeFormat::kDfuSe;
    return fields;
}

void RememberFields(const MakeFields& fields)
{
    UniqueHKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kMakeSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;  // not remembering is no reason to refuse the make
    const HKEY created = key.get();
    for (const auto& remembered : kRememberedTexts) {
        const std::wstring& text = fields.*remembered.field;
        RegSetValueExW(created, remembered.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    const DWORD format = fields.format == MakeFormat::kPlain ? 0 : 1;
    RegSetValueExW(created, L"Format", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&format), sizeof(format));
}

}  // namespace orrelin
