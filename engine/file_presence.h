// Whether a file's data is on this device. A cloud provider's online-only file is a
// placeholder: the first byte read of it (or, for some providers, opening it) downloads the
// whole file, and Windows names the program that read it. Its attributes say so before any
// byte is read, so the engine asks them, once and without opening the file, before it opens
// a file's data, and reads nothing of a file that is not here.
#pragma once

#include <cstdint>

#include "KorvexLayout.h"

#if defined(_WIN32)
#  include <windows.h>
#endif

// The attributes that mark a placeholder. The Windows headers of some toolchains lack the
// two that the cloud-files API added.
#ifndef FILE_ATTRIBUTE_OFFLINE
#  define FILE_ATTRIBUTE_OFFLINE 0x00001000
#endif
#ifndef FILE_ATTRIBUTE_RECALL_ON_OPEN
#  define FILE_ATTRIBUTE_RECALL_ON_OPEN 0x00040000
#endif
#ifndef FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS
#  define FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS 0x00400000
#endif

namespace korvex {

#if defined(_WIN32)
using PathChar = wchar_t;
#else
using PathChar = char;
#endif

constexpr std::uint32_t kNotOnThisDeviceAttributes =
    FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_RECALL_ON_OPEN | FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS;

// The file system's attributes of the file at path, asked without opening it; 0 when it
// answers none (no such file: the open that follows says why).
using AttributeQuery = std::uint32_t(KORVEX_CALL*)(const PathChar* path);

// The system's own answer: GetFileAttributesW (a long path in its extended form) on
// Windows; elsewhere no file carries these attributes, so always 0.
std::uint32_t KORVEX_CALL SystemFileAttributes(const PathChar* path);

// Where the engine asks from now on (null: the system again); answers the previous query.
// Tests stand in for the system here, which cannot set these attributes everywhere.
AttributeQuery ReplaceAttributeQuery(AttributeQuery query) noexcept;

// True when the attributes of the file at path (one query) say its data is elsewhere.
bool NotOnThisDevice(const PathChar* path);

}  // namespace korvex
