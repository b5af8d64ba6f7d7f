// The partial files this process is writing, for removal when it is interrupted: a fixed
// table of pointers, so the handler that walks it neither allocates nor locks.
#pragma once

#include "file_io.h"

#include <atomic>

namespace korvex::partial_files {

constexpr int kSlots = 64;
extern std::atomic<const PathChar*> g_slots[kSlots];

// path stays valid until Remove; beyond kSlots files at once, the extra ones are not listed.
void Add(const PathChar* path);
void Remove(const PathChar* path);

}  // namespace korvex::partial_files
