#include "util/PackageCodec.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "framework/CDesktop.h"
#include "framework/CFile.h"
#include "framework/CFileException.h"
#include "util/FileHelpers.h"

void ScrambleBuffer(const std::uint8_t* input, std::size_t count, std::uint8_t* output) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    int drawn = std::rand() % 255;  // NOLINT(cert-msc30-c,cert-msc50-cpp): a key, not a secret
    // 0 would leave the data plain and 255 is never used as a key.
    const auto key = static_cast<std::uint8_t>(drawn < 2 ? 1 : drawn);
    for (std::size_t i = 0; i < count; ++i) {
        output[i] = input[i] ^ key;
    }
    output[count] = key;
}

void UnscrambleBuffer(const std::uint8_t* input, std::size_t count, std::uint8_t* output) {
    const std::uint8_t key = input[count];
    for (std::size_t i = 0; i < count; ++i) {
        output[i] = input[i] ^ key;
    }
}

int UnscrambleFile(const CString& source, const CString& target) {
    CFileStatus status;
    CFile in;
    if (!OpenFileToRead(source, in, status)) {
        return 0;
    }
    // Streamed through one buffer: memory stays the same whatever the package's size.
    const std::uint64_t length = in.GetLength();
    if (length == 0) {
        // Not even a key byte: no package.
        ShowFileError(CFileException(CFileException::invalidFile, 0, source));
        return 0;
    }
    std::uint8_t key = 0;
    in.Seek(static_cast<std::int64_t>(length - 1), CFile::begin);
    in.Read(&key, 1);
    in.Seek(0, CFile::begin);
    std::vector<std::uint8_t> chunk(kStreamChunk);
    try {
        CFile out(target, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
        for (std::uint64_t left = length - 1; left > 0;) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
            const std::size_t got = in.Read(chunk.data(), want);
            if (got == 0) {
                break;  // the file shrank while it was read: only the bytes read count
            }
            KeepWindowServed();
            for (std::size_t i = 0; i < got; ++i) {
                chunk[i] ^= key;
            }
            out.Write(chunk.data(), got);
            left -= got;
        }
        out.Close();
    } catch (const CFileException& error) {
        if (error.m_strFileName == source) {
            throw;  // a failed read of the package reaches the caller
        }
        ShowFileError(error);
        return 0;
    }
    in.Close();
    return 1;
}
