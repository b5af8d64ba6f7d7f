// The property descriptions of a .propdesc schema, read with a plain scan of its XML: Wine
// cannot look property descriptions up (PSGetPropertyDescription is not implemented), so the
// shell host and the tests read the names and keys from the schema file itself.
#pragma once

#include <windows.h>
#include <propsys.h>

#include <string>
#include <vector>

struct SchemaProperty {
    std::wstring name;   // canonical name
    std::wstring label;  // display name
    std::wstring type;
    bool multipleValues = false;
    bool column = false;      // searchInfo isColumn
    bool searchable = false;  // typeInfo isQueryable
    bool sortable = false;    // displayInfo defaultSortDirection stated
    PROPERTYKEY key = {};
};

// Every propertyDescription of the UTF-8 file at `path`; empty when it cannot be read.
std::vector<SchemaProperty> ReadPropertySchema(const std::wstring& path);
