#include "framework/Sha256.h"

#include <openssl/evp.h>

#include <array>
#include <stdexcept>

namespace {
struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
constexpr const char* kHexDigits = "0123456789abcdef";
}  // namespace

struct CSha256::State {
    std::unique_ptr<EVP_MD_CTX, ContextDeleter> context;
};

CSha256::CSha256() : m_state(std::make_unique<State>()) {
    m_state->context.reset(EVP_MD_CTX_new());
    if (!m_state->context ||
        EVP_DigestInit_ex(m_state->context.get(), EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 is not available");
    }
}

CSha256::~CSha256() = default;

void CSha256::Update(const void* data, std::size_t size) {
    if (EVP_DigestUpdate(m_state->context.get(), data, size) != 1) {
        throw std::runtime_error("SHA-256 failed");
    }
}

CString CSha256::HexDigest() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned length = 0;
    if (EVP_DigestFinal_ex(m_state->context.get(), digest.data(), &length) != 1) {
        throw std::runtime_error("SHA-256 failed");
    }
    std::string text;
    for (unsigned i = 0; i < length; ++i) {
        text += kHexDigits[digest.at(i) >> 4U];
        text += kHexDigits[digest.at(i) & 0x0FU];
    }
    return CString(text);
}
