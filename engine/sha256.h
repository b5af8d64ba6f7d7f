// SHA-256 from the platform's own crypto: CNG (BCryptHash) in Windows, OpenSSL's libcrypto
// elsewhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace korvex {

using Sha256Digest = std::array<unsigned char, 32>;

class Sha256 {
public:
    Sha256();  // throws DfuError (kIo) when the platform offers no SHA-256
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;

    void Update(const void* bytes, std::size_t count);
    Sha256Digest Final();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

std::string HexDigest(const Sha256Digest& digest);

}  // namespace korvex
