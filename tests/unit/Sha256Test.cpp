// The platform's SHA-256 against the standard test vectors, given whole and in
// pieces, and over a file.
#include "framework/Sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/CFileException.h"
#include "tests/support/TempDir.h"

namespace {
struct Vector {
    std::string message;
    const char* digest;
};

const Vector kVectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnop"
     "q"
     "rsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

CString DigestInPieces(const std::string& message, std::size_t piece) {
    CSha256 digest;
    for (std::size_t at = 0; at < message.size(); at += piece) {
        digest.Update(message.data() + at, std::min(piece, message.size() - at));
    }
    return digest.HexDigest();
}
}  // namespace

TEST(Sha256Test, TheStandardVectorsWholeAndInPieces) {
    for (const Vector& vector : kVectors) {
        const std::string label = vector.message.substr(0, 20);
        EXPECT_EQ(DigestInPieces(vector.message, vector.message.size() + 1).str(), vector.digest)
            << label;
        // Pieces that cut the 64-byte blocks anywhere.
        EXPECT_EQ(DigestInPieces(vector.message, 1).str(), vector.digest) << label;
        EXPECT_EQ(DigestInPieces(vector.message, 63).str(), vector.digest) << label;
        EXPECT_EQ(DigestInPieces(vector.message, 65537).str(), vector.digest) << label;
    }
}

TEST(Sha256Test, AFileIsDigestedWholeAndAMissingOneRaises) {
    TempDir dir;
    WriteFile(dir / "million", std::string(1000000, 'a'));
    WriteFile(dir / "empty", "");
    EXPECT_EQ(Sha256OfFile((dir / "million").string().c_str()).str(),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(Sha256OfFile((dir / "empty").string().c_str()).str(),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_THROW((void)Sha256OfFile((dir / "missing").string().c_str()), CFileException);
}
