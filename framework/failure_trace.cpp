#include "failure_trace.h"

#include <atomic>

namespace orrelin {
namespace {

// One line of at most a fixed length, cut where it would not fit: a report must not
// allocate or fail.
class Line {
public:
    Line& operator<<(const char* text)
    {
        for (; text != nullptr && *text != '\0'; ++text) Put(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
        return *this;
    }
    Line& Hex(unsigned long value)
    {
        for (int shift = 28; shift >= 0; shift -= 4) Put(L"0123456789ABCDEF"[(value >> shift) & 0xF]);
        return *this;
    }
    Line& Decimal(int value)
    {
        wchar_t digits[12];
        int count = 0;
        unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
        do digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
        while ((magnitude /= 10) != 0);
        if (value < 0) Put(L'-');
        while (count > 0) Put(digits[--count]);
        return *this;
    }
    const wchar_t* Text()
    {
        m_text[m_length] = L'\0';
        return m_text;
    }

private:
    void Put(wchar_t c)
    {
        if (m_length + 1 < sizeof m_text / sizeof m_text[0]) m_text[m_length++] = c;
    }
    wchar_t m_text[512];
    size_t m_length = 0;
};

void DebuggerLine(HRESULT hr, const FailureSite& site)
{
    Line line;
    line << "Orrelin: 0x";
    line.Hex(static_cast<unsigned long>(hr)) << " from " << site.function << " (" << site.file << ":";
    line.Decimal(site.line) << ")\n";
    OutputDebugStringW(line.Text());
}

std::atomic<FailureReporter> g_reporter{nullptr};

}  // namespace

FailureReporter SetFailureReporter(FailureReporter reporter) noexcept
{
    return g_reporter.exchange(reporter);
}

void ReportFailure(HRESULT hr, const FailureSite& site) noexcept
{
    const FailureReporter reporter = g_reporter.load();
    (reporter != nullptr ? reporter : DebuggerLine)(hr, site);
}

}  // namespace orrelin
