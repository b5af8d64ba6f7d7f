#include "propdesc_schema.h"

#include <cwchar>
#include <fstream>
#include <iterator>

namespace {

std::wstring Widened(const std::string& utf8)
{
    if (utf8.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
    return text;
}

// The value of attribute `name` inside the element that starts at `from`.
std::wstring Attribute(const std::wstring& xml, size_t from, const wchar_t* element, const wchar_t* name)
{
    const size_t start = xml.find(std::wstring(L"<") + element, from);
    if (start == std::wstring::npos) return std::wstring();
    const size_t end = xml.find(L'>', start);
    const std::wstring tag = xml.substr(start, end - start);
    const std::wstring marker = std::wstring(L" ") + name + L"=\"";
    const size_t at = tag.find(marker);
    if (at == std::wstring::npos) return std::wstring();
    const size_t value = at + marker.size();
    return tag.substr(value, tag.find(L'"', value) - value);
}

}  // namespace

std::vector<SchemaProperty> ReadPropertySchema(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    const std::wstring xml = Widened(std::string(std::istreambuf_iterator<char>(file), {}));
    std::vector<SchemaProperty> properties;
    for (size_t at = xml.find(L"<propertyDescription "); at != std::wstring::npos;
         at = xml.find(L"<propertyDescription ", at + 1)) {
        const size_t next = xml.find(L"</propertyDescription>", at);
        const std::wstring block = xml.substr(at, next - at);
        SchemaProperty property;
        property.name = Attribute(block, 0, L"propertyDescription", L"name");
        property.label = Attribute(block, 0, L"labelInfo", L"label");
        property.type = Attribute(block, 0, L"typeInfo", L"type");
        property.multipleValues = Attribute(block, 0, L"typeInfo", L"multipleValues") == L"true";
        property.searchable = Attribute(block, 0, L"typeInfo", L"isQueryable") == L"true";
        property.column = Attribute(block, 0, L"searchInfo", L"isColumn") == L"true";
        property.sortable = !Attribute(block, 0, L"displayInfo", L"defaultSortDirection").empty();
        const std::wstring format = Attribute(block, 0, L"propertyDescription", L"formatID");
        if (FAILED(CLSIDFromString(format.c_str(), &property.key.fmtid))) continue;
        property.key.pid =
            static_cast<DWORD>(wcstoul(Attribute(block, 0, L"propertyDescription", L"propID").c_str(), nullptr, 10));
        properties.push_back(property);
    }
    return properties;
}
