// Korvex.dll's taking apart, hashing and comparing, over the engine's writers. Every call
// catches what the writers throw and answers a code with the message as text.
#include "KorvexTools.h"

#include "dfu_diff.h"
#include "dfu_diff_text.h"
#include "dfu_extract.h"
#include "file_io.h"
#include "sha256.h"

#include <windows.h>

#include <new>
#include <string>
#include <vector>

namespace {

using korvex::Path;

struct Stopped {};

// Passes each read on as progress, and stops the work (by unwinding it) once asked to.
class Reporter final : public korvex::ProgressObserver {
public:
    Reporter(const KorvexToolsReport* report, std::uint64_t total) : m_report(report), m_total(total) {}
    void Moved(std::uint64_t bytes) override
    {
        m_done += bytes;
        Check();
    }
    void Check() const
    {
        if (m_report != nullptr && m_report->progress != nullptr &&
            m_report->progress(m_report->context, m_done, m_total) != 0)
            throw Stopped{};
    }

private:
    const KorvexToolsReport* m_report;
    std::uint64_t m_total;
    std::uint64_t m_done = 0;
};

void Tell(const KorvexToolsReport* report, const std::wstring& text)
{
    if (report != nullptr && report->text != nullptr) report->text(report->context, text.c_str());
}

std::wstring Wide(const std::string& text)
{
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 0, L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

template <class Work>
int Guarded(const KorvexToolsReport* report, Work work) noexcept
{
    try {
        return work();
    } catch (const Stopped&) {
        return KORVEX_TOOLS_CANCELLED;
    } catch (const korvex::DfuError& error) {
        try {
            Tell(report, Wide(error.what()));
        } catch (...) {
        }
        switch (error.kind()) {
        case korvex::DfuError::Kind::kInvalid:
            return KORVEX_TOOLS_INVALID;
        case korvex::DfuError::Kind::kUsage:
            return KORVEX_TOOLS_USAGE;
        default:
            return KORVEX_TOOLS_IO;
        }
    } catch (const std::bad_alloc&) {
        return KORVEX_TOOLS_NO_MEMORY;
    } catch (const std::exception& error) {
        try {
            Tell(report, Wide(error.what()));
        } catch (...) {
        }
        return KORVEX_TOOLS_IO;
    } catch (...) {
        return KORVEX_TOOLS_IO;
    }
}

std::wstring SystemText(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(code);
    LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
        result.pop_back();
    return result;
}

[[noreturn]] void ThrowSystem(const std::wstring& path, DWORD code)
{
    korvex::DfuError error(korvex::DfuError::Kind::kIo,
                           korvex::PathText(path) + ": " + korvex::PathText(SystemText(code)));
    throw error;
}

// The folder the files are written in until all of them are: beside the final one, hidden,
// removed with whatever it holds unless Keep is called.
class WorkFolder {
public:
    explicit WorkFolder(const Path& folder)
    {
        for (unsigned n = 1; n < 1000; ++n) {
            Path candidate = folder + L".extracting" + (n > 1 ? L"-" + std::to_wstring(n) : L"");
            if (CreateDirectoryW(candidate.c_str(), nullptr)) {
                SetFileAttributesW(candidate.c_str(), FILE_ATTRIBUTE_HIDDEN);
                m_path = std::move(candidate);
                return;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_ALREADY_EXISTS) ThrowSystem(candidate, error);
        }
        ThrowSystem(folder, ERROR_ALREADY_EXISTS);
    }
    ~WorkFolder()
    {
        if (m_path.empty()) return;
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((m_path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                    DeleteFileW((m_path + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(m_path.c_str());
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const Path& path() const { return m_path; }
    void Keep() { m_path.clear(); }

private:
    Path m_path;
};

// Renames the finished folder to the first free name of folder, "folder (2)", ...: a
// rename never replaces, so an earlier extraction stays as it was.
Path MoveIntoPlace(WorkFolder& work, const Path& folder)
{
    for (unsigned n = 1; n < 10000; ++n) {
        const Path candidate = n == 1 ? folder : folder + L" (" + std::to_wstring(n) + L")";
        if (MoveFileExW(work.path().c_str(), candidate.c_str(), 0)) {
            SetFileAttributesW(candidate.c_str(), FILE_ATTRIBUTE_NORMAL);
            work.Keep();
            return candidate;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS && error != ERROR_ACCESS_DENIED)
            ThrowSystem(candidate, error);
    }
    ThrowSystem(folder, ERROR_ALREADY_EXISTS);
}

}  // namespace

extern "C" int KORVEX_CALL KorvexExtractToFolder(const wchar_t* file, const wchar_t* folder, int damaged,
                                                 const KorvexToolsReport* report)
{
    if (file == nullptr || folder == nullptr || *file == 0 || *folder == 0) return KORVEX_TOOLS_USAGE;
    return Guarded(report, [&] {
        korvex::InputFile input(file);
        std::uint64_t dropped = 0;
        const korvex::DfuLayout layout =
            damaged != 0 ? korvex::ReadDamagedLayout(input, dropped) : korvex::ReadValidLayout(input);
        // As dfutool extract --bin --hex: each element's bytes twice, or a plain image once.
        std::uint64_t total = 0;
        if (!layout.dfuse) {
            total = layout.fileSize - layout.suffixLength;
        } else {
            for (const korvex::DfuTarget& target : layout.targets)
                for (const korvex::DfuElement& element : target.elements) total += std::uint64_t{element.size} * 2;
        }
        Reporter reporter(report, total);
        reporter.Check();
        WorkFolder work(folder);
        korvex::ExtractRequest request;
        request.binaries = true;
        request.intelHex = true;
        request.prefix = work.path() + L"\\" + korvex::StemOf(file);
        input.Observe(&reporter);
        korvex::Extract(input, layout, request);
        input.Observe(nullptr);
        reporter.Check();
        Tell(report, MoveIntoPlace(work, folder));
        return KORVEX_TOOLS_DONE;
    });
}

extern "C" int KORVEX_CALL KorvexHashFile(const wchar_t* file, const KorvexToolsReport* report)
{
    if (file == nullptr || *file == 0) return KORVEX_TOOLS_USAGE;
    return Guarded(report, [&] {
        korvex::InputFile input(file);
        Reporter reporter(report, input.Size());
        input.Observe(&reporter);
        korvex::Sha256 sha;
        std::vector<unsigned char> buffer(1u << 20);
        for (std::uint64_t offset = 0; offset < input.Size();) {
            const std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), input.Size() - offset));
            input.Read(offset, buffer.data(), count);
            sha.Update(buffer.data(), count);
            offset += count;
        }
        input.Observe(nullptr);
        Tell(report, Wide(korvex::HexDigest(sha.Final())));
        return KORVEX_TOOLS_DONE;
    });
}

extern "C" int KORVEX_CALL KorvexCompareFiles(const wchar_t* fileA, const wchar_t* fileB, int* same,
                                              const KorvexToolsReport* report)
{
    if (fileA == nullptr || fileB == nullptr || *fileA == 0 || *fileB == 0) return KORVEX_TOOLS_USAGE;
    return Guarded(report, [&] {
        korvex::InputFile a(fileA), b(fileB);
        const korvex::DfuLayout layoutA = korvex::ReadValidLayout(a);
        const korvex::DfuLayout layoutB = korvex::ReadValidLayout(b);
        Reporter reporter(report, a.Size() + b.Size());
        a.Observe(&reporter);
        b.Observe(&reporter);
        const korvex::DfuDifference diff = korvex::CompareDfuFiles(a, layoutA, b, layoutB);
        a.Observe(nullptr);
        b.Observe(nullptr);
        if (same != nullptr) *same = diff.Same() ? 1 : 0;
        Tell(report, Wide(korvex::DiffText(diff, korvex::PathText(fileA), korvex::PathText(fileB))));
        return KORVEX_TOOLS_DONE;
    });
}
