#include "util/PackageCodec.h"

#include <cstdlib>
#include <ctime>
#include <vector>

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
    std::vector<std::uint8_t> package(static_cast<std::uint32_t>(status.m_size));
    // A file that shrank since the look-up: only the bytes read count.
    const std::size_t got = in.Read(package.data(), package.size());
    in.Close();
    if (got == 0) {
        // Not even a key byte: no package.
        ShowFileError(CFileException(CFileException::invalidFile, 0, source));
        return 0;
    }
    std::vector<std::uint8_t> plain(got - 1);
    UnscrambleBuffer(package.data(), plain.size(), plain.data());
    try {
        CFile out(target, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
        out.Write(plain.data(), plain.size());
        out.Close();
    } catch (const CFileException& error) {
        ShowFileError(error);
        return 0;
    }
    return 1;
}
