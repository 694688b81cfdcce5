#include "framework/Sha256.h"

#include <vector>

#include "framework/CFile.h"

CString Sha256OfFile(const CString& path) {
    constexpr std::size_t kPiece = std::size_t{64} * 1024;
    CFile file(path, CFile::modeRead);
    CSha256 digest;
    std::vector<char> buffer(kPiece);
    for (std::size_t got = file.Read(buffer.data(), buffer.size()); got > 0;
         got = file.Read(buffer.data(), buffer.size())) {
        digest.Update(buffer.data(), got);
    }
    return digest.HexDigest();
}
