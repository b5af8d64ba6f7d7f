#include "progress.h"

#include <cstdio>

#if defined(_WIN32)
#  include <io.h>
#  define DFUTOOL_ISATTY _isatty
#  define DFUTOOL_FILENO _fileno
#else
#  include <unistd.h>
#  define DFUTOOL_ISATTY isatty
#  define DFUTOOL_FILENO fileno
#endif

namespace dfutool {

bool ShowProgress(bool quiet)
{
    return !quiet && DFUTOOL_ISATTY(DFUTOOL_FILENO(stderr)) != 0;
}

Progress::Progress(const char* command, std::uint64_t total, bool shown)
    : m_command(command), m_total(total), m_shown(shown && total >= kProgressFrom)
{
}

Progress::~Progress()
{
    // The line is wiped, not left at a percent: what follows on the terminal is the result.
    if (m_shown && m_shownPercent >= 0) std::fprintf(stderr, "\r%40s\r", "");
}

void Progress::Moved(std::uint64_t bytes)
{
    m_done += bytes;
    if (!m_shown) return;
    const int percent = static_cast<int>(m_done >= m_total ? 100 : m_done * 100 / m_total);
    if (percent == m_shownPercent) return;
    m_shownPercent = percent;
    std::fprintf(stderr, "\rdfutool %s: %3d%%", m_command, percent);
    std::fflush(stderr);
}

void Progress::Write(const void* bytes, std::size_t count)
{
    m_out->Write(bytes, count);
    Moved(count);
}

}  // namespace dfutool
