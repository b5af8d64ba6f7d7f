// The work of the tools menu's commands, as plain functions over the engine's exports: each
// reports through a WorkProgress, stops when it is cancelled, and on failure says what
// failed and where.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "work_progress.h"

namespace orrelin {

// Asked before a file that is not intact is taken apart; `reason` says what is wrong with
// it. True: go on, keeping what the file holds whole.
using ConfirmDamaged = std::function<bool(const std::wstring& reason)>;

// Extracts file into a new folder beside it, named after it ("fw", "fw (2)", ... and
// "fw (damaged)" for a file that is not intact). folder receives the one made.
HRESULT ExtractFirmware(const std::wstring& file, const ConfirmDamaged& confirm, WorkProgress& progress,
                        std::wstring& folder, std::wstring& error);

// The SHA-256 of the whole file in lower-case hexadecimal, as sha256sum prints it.
HRESULT HashFile(const std::wstring& file, WorkProgress& progress, std::wstring& digest, std::wstring& error);

// Puts text on the clipboard as Unicode text (the system offers the other text formats).
HRESULT PutOnClipboard(const std::wstring& text, std::wstring& error);

// What differs between two .dfu files, or that they are the same, as lines of text.
HRESULT CompareFiles(const std::wstring& a, const std::wstring& b, WorkProgress& progress, std::wstring& text,
                     std::wstring& error);

}  // namespace orrelin
