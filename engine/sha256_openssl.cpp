#include "sha256.h"

#include "file_io.h"

#include <openssl/evp.h>

namespace korvex {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : m_state(std::make_unique<State>())
{
    m_state->context = EVP_MD_CTX_new();
    if (m_state->context == nullptr || EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr) != 1)
        throw DfuError(DfuError::Kind::kIo, "libcrypto offers no SHA-256");
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(const void* bytes, std::size_t count)
{
    if (count > 0 && EVP_DigestUpdate(m_state->context, bytes, count) != 1)
        throw DfuError(DfuError::Kind::kIo, "libcrypto failed to hash");
}

Sha256Digest Sha256::Final()
{
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_state->context, digest.data(), &length) != 1 || length != digest.size())
        throw DfuError(DfuError::Kind::kIo, "libcrypto failed to hash");
    return digest;
}

}  // namespace korvex
