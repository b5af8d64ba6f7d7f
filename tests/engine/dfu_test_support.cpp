#include "dfu_test_support.h"

#include <zlib.h>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <thread>
#endif

#include <algorithm>
#include <cstring>

namespace dfutest {

std::uint32_t SuffixCrc(const std::string& bytes)
{
    uLong crc = crc32(0, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    return static_cast<std::uint32_t>(crc) ^ 0xFFFFFFFFu;
}

void AppendLe16(std::string& bytes, std::uint16_t value)
{
    bytes.push_back(static_cast<char>(value & 0xFF));
    bytes.push_back(static_cast<char>(value >> 8));
}

void AppendLe32(std::string& bytes, std::uint32_t value)
{
    AppendLe16(bytes, static_cast<std::uint16_t>(value & 0xFFFF));
    AppendLe16(bytes, static_cast<std::uint16_t>(value >> 16));
}

void PutLe32(std::string& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string WithSuffix(const std::string& payload, const SuffixFields& fields)
{
    std::string file = payload;
    AppendLe16(file, fields.release);
    AppendLe16(file, fields.product);
    AppendLe16(file, fields.vendor);
    AppendLe16(file, fields.dfuVersion);
    file += fields.signature;
    file.push_back(static_cast<char>(fields.length));
    AppendLe32(file, SuffixCrc(file));
    return file;
}

std::string WithSuffix(const std::string& payload, std::uint16_t vendor, std::uint16_t product, std::uint16_t release,
                       std::uint16_t dfuVersion)
{
    SuffixFields fields;
    fields.vendor = vendor;
    fields.product = product;
    fields.release = release;
    fields.dfuVersion = dfuVersion;
    return WithSuffix(payload, fields);
}

std::string DfuSeElement(std::uint32_t address, const std::string& data)
{
    std::string element;
    AppendLe32(element, address);
    AppendLe32(element, static_cast<std::uint32_t>(data.size()));
    return element + data;
}

std::string DfuSeImage(const std::vector<DfuSeTarget>& targets)
{
    std::string image = "DfuSe";
    image.push_back('\x01');
    AppendLe32(image, 0);  // image size, filled in below
    image.push_back(static_cast<char>(targets.size()));
    unsigned alternate = 0;
    for (const DfuSeTarget& target : targets) {
        image += "Target";
        image.push_back(static_cast<char>(alternate++));
        AppendLe32(image, target.named ? 1 : 0);
        std::string name = target.name.substr(0, 255);
        name.resize(255, '\0');
        image += name;
        AppendLe32(image, static_cast<std::uint32_t>(target.elements.size()));
        AppendLe32(image, target.elementCount >= 0  ? static_cast<std::uint32_t>(target.elementCount)
                          : target.elements.empty() ? 0u
                                                    : 1u);
        image += target.elements;
    }
    PutLe32(image, kDfuSeImageSizeAt, static_cast<std::uint32_t>(image.size()));
    return image;
}

std::string DfuSeFile(const std::vector<DfuSeTarget>& targets)
{
    return WithSuffix(DfuSeImage(targets), 0x0483, 0xDF11, 0x0200, 0x011A);
}

std::string Payload(std::size_t count, unsigned seed)
{
    std::string bytes(count, '\0');
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

bool MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    ++readCalls;
    largestRead = std::max(largestRead, count);
    if (offset > Size() || count > Size() - offset) {
        readOutOfBounds = true;
        return false;
    }
    if (offset + count > m_failFrom || offset + count > m_bytes.size()) return false;
    std::memcpy(buffer, m_bytes.data() + offset, count);
    bytesRead += count;
    return true;
}

ReadResult Read(const std::string& bytes)
{
    MemorySource source(bytes);
    ReadResult result;
    result.valid = korvex::ReadDfuFile(source, result.info);
    return result;
}

#ifdef _WIN32
namespace {
struct ThreadWork {
    const std::function<void(int)>* work;
    int index;
};
DWORD WINAPI RunWork(void* argument)
{
    const auto* work = static_cast<const ThreadWork*>(argument);
    (*work->work)(work->index);
    return 0;
}
}  // namespace

void RunOnThreads(int count, const std::function<void(int)>& work)
{
    std::vector<ThreadWork> works;
    for (int index = 0; index < count; ++index) works.push_back({&work, index});
    std::vector<HANDLE> threads;
    for (ThreadWork& one : works) threads.push_back(CreateThread(nullptr, 0, RunWork, &one, 0, nullptr));
    for (HANDLE thread : threads) {
        if (thread == nullptr) continue;
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}
#else
void RunOnThreads(int count, const std::function<void(int)>& work)
{
    std::vector<std::thread> threads;
    for (int index = 0; index < count; ++index) threads.emplace_back(work, index);
    for (std::thread& thread : threads) thread.join();
}
#endif

}  // namespace dfutest
