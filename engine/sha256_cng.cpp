#include "sha256.h"

#include "file_io.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

namespace korvex {
namespace {

void Check(NTSTATUS status, const char* what)
{
    if (status < 0) {
        char text[64];
        std::snprintf(text, sizeof text, ": status 0x%08lX", static_cast<unsigned long>(status));
        throw DfuError(DfuError::Kind::kIo, std::string("CNG ") + what + text);
    }
}

}  // namespace

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State()
    {
        if (hash != nullptr) BCryptDestroyHash(hash);
        if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

Sha256::Sha256() : m_state(std::make_unique<State>())
{
    Check(BCryptOpenAlgorithmProvider(&m_state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0), "offers no SHA-256");
    // No object buffer given: CNG keeps the hash object itself (Windows 7 and later).
    Check(BCryptCreateHash(m_state->algorithm, &m_state->hash, nullptr, 0, nullptr, 0, 0), "cannot start a hash");
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(const void* bytes, std::size_t count)
{
    auto* in = static_cast<unsigned char*>(const_cast<void*>(bytes));
    while (count > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(count, 1u << 30));
        Check(BCryptHashData(m_state->hash, in, piece, 0), "failed to hash");
        in += piece;
        count -= piece;
    }
}

Sha256Digest Sha256::Final()
{
    Sha256Digest digest{};
    Check(BCryptFinishHash(m_state->hash, digest.data(), static_cast<ULONG>(digest.size()), 0), "failed to hash");
    return digest;
}

}  // namespace korvex
