// SHA-256 through the platform's own cryptographic library (libcrypto on POSIX,
// CryptoAPI on Windows): the digest that names a package in the run history.
#pragma once

#include <cstddef>
#include <memory>

#include "framework/CString.h"

class CSha256 {
  public:
    // Raises std::runtime_error when the platform offers no SHA-256.
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest of everything given so far, as 64 lowercase hex digits. Ends
    // the digest: nothing more may be given.
    CString HexDigest();

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The digest of a whole file, read in pieces; raises CFileException.
[[nodiscard]] CString Sha256OfFile(const CString& path);
