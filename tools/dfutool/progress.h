// A percent line on stderr while a long task runs, for a person at a terminal: nothing
// when stderr is a file or a pipe, when --quiet is given, or when the task is small.
#pragma once

#include "file_io.h"

#include <cstdint>

namespace dfutool {

class Progress final : public korvex::ProgressObserver, public korvex::ByteOutput {
public:
    // total: the bytes the task moves. shown: the caller's choice (ShowProgress).
    Progress(const char* command, std::uint64_t total, bool shown);
    ~Progress() override;
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Moved(std::uint64_t bytes) override;
    // As an output: counts what passes on to out.
    void PassTo(korvex::ByteOutput& out) { m_out = &out; }
    void Write(const void* bytes, std::size_t count) override;

private:
    const char* m_command;
    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    int m_shownPercent = -1;
    bool m_shown;
    korvex::ByteOutput* m_out = nullptr;
};

// True when stderr is a terminal and quiet is not set.
bool ShowProgress(bool quiet);

// Below this, a task ends before a percent line would be read.
constexpr std::uint64_t kProgressFrom = 16u << 20;

}  // namespace dfutool
