#include "framework/Sha256.h"

#include <array>
#include <stdexcept>
#include <string>

#include "framework/win32/WinApi.h"
// After windows.h, which it needs.
#include <wincrypt.h>

namespace {
constexpr const char* kHexDigits = "0123456789abcdef";
constexpr DWORD kSha256Length = 32;
}  // namespace

// The provider and the hash object, released in the reverse order of their making.
struct CSha256::State {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (hash != 0) {
            ::CryptDestroyHash(hash);
        }
        if (provider != 0) {
            ::CryptReleaseContext(provider, 0);
        }
    }
};

CSha256::CSha256() : m_state(std::make_unique<State>()) {
    // The provider with the SHA-2 family; no key container is needed to hash.
    if (::CryptAcquireContextA(&m_state->provider, nullptr, nullptr, PROV_RSA_AES,
                               CRYPT_VERIFYCONTEXT) == FALSE ||
        ::CryptCreateHash(m_state->provider, CALG_SHA_256, 0, 0, &m_state->hash) == FALSE) {
        throw std::runtime_error("SHA-256 is not available (error " +
                                 std::to_string(::GetLastError()) + ")");
    }
}

CSha256::~CSha256() = default;

void CSha256::Update(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    while (size > 0) {
        const DWORD piece = size > 0x40000000U ? 0x40000000U : static_cast<DWORD>(size);
        if (::CryptHashData(m_state->hash, bytes, piece, 0) == FALSE) {
            throw std::runtime_error("SHA-256 failed");
        }
        bytes += piece;
        size -= piece;
    }
}

CString CSha256::HexDigest() {
    std::array<BYTE, kSha256Length> digest{};
    DWORD length = kSha256Length;
    if (::CryptGetHashParam(m_state->hash, HP_HASHVAL, digest.data(), &length, 0) == FALSE) {
        throw std::runtime_error("SHA-256 failed");
    }
    std::string text;
    for (DWORD i = 0; i < length; ++i) {
        text += kHexDigits[digest.at(i) >> 4U];
        text += kHexDigits[digest.at(i) & 0x0FU];
    }
    return CString(text);
}
