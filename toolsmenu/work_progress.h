// What long work on a file (extracting, hashing, making) tells the one who waits for it,
// and asks of them: how far it has come, and whether it should stop.
#pragma once

#include <cstdint>
#include <string>

namespace orrelin {

class WorkProgress {
public:
    virtual ~WorkProgress() = default;
    // `done` of `total` units; a total of 0 says the size is not known.
    virtual void Report(std::uint64_t done, std::uint64_t total) = 0;
    // The line under the progress bar: which file, which step.
    virtual void Describe(const std::wstring& line) = 0;
    // True once the user asked to stop; the work then undoes what it wrote and returns.
    virtual bool Cancelled() = 0;
};

}  // namespace orrelin
