#include "util/FileHelpers.h"

#include <vector>

#include "framework/CDesktop.h"
#include "framework/Kernel.h"

bool IsNoFile(const CFileStatus& status) {
    return status.m_attribute == CFile::volume || status.m_attribute == CFile::directory;
}

void ShowFileError(const CFileException& error) {
    AfxMessageBox(error.GetErrorMessage());
}

bool OpenFileToRead(const CString& path, CFile& file, CFileStatus& status) {
    if (!CFile::GetStatus(path, status)) {
        return false;
    }
    if (IsNoFile(status)) {
        AfxMessageBox(kNoFileMessage);
        return false;
    }
    try {
        file.Open(path, CFile::modeRead | CFile::shareExclusive);
    } catch (const CFileException& error) {
        ShowFileError(error);
        return false;
    }
    return true;
}

int ReadTextFile(const CString& path, CString& text) {
    text.Empty();
    CFileStatus status;
    CFile file;
    if (!OpenFileToRead(path, file, status)) {
        return 0;
    }
    std::vector<char> buffer(static_cast<std::size_t>(static_cast<std::uint32_t>(status.m_size)) +
                             1);
    const std::size_t got = file.Read(buffer.data(), buffer.size() - 1);
    file.Close();
    // Only what was read counts; the text ends at the first NUL.
    text = CString(buffer.data(), got);
    return 1;
}

namespace {
// Reads size bytes of the open file into a new block for value; 0 after showing why.
int FillFromFile(CFile& file, const CString& path, std::uint32_t size, CLongBinary& value) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (block == nullptr) {
        AfxMessageBox("Not enough memory for " + path);
        return 0;
    }
    value.Reset(block, size);
    {
        const CGlobalLock lock(block);
        value.m_dwDataLength = static_cast<std::uint32_t>(file.Read(lock.data(), size));
    }
    file.Close();
    return 1;
}
}  // namespace

int ReadFileToGlobal(const CString& path, CLongBinary& value) {
    CFileStatus status;
    if (!CFile::GetStatus(path, status)) {
        return 1;
    }
    try {
        CFile file(path, CFile::modeRead | CFile::shareExclusive);
        return FillFromFile(file, path, static_cast<std::uint32_t>(status.m_size), value);
    } catch (const CFileException& error) {
        ShowFileError(error);
        return 0;
    }
}

int ReadExistingFileToGlobal(const CString& path, CLongBinary& value) {
    try {
        CFile file(path, CFile::modeRead | CFile::shareExclusive);
        // The length as the status look-up gives it: its low 32 bits.
        return FillFromFile(file, path, static_cast<std::uint32_t>(file.GetLength()), value);
    } catch (const CFileException& error) {
        ShowFileError(error);
        return 0;
    }
}

int CopyFileContents(const CString& source, const CString& target) {
    CFileStatus status;
    if (!CFile::GetStatus(source, status)) {
        return 1;
    }
    if (IsNoFile(status)) {
        AfxMessageBox(kNoFileCopyMessage);
        return 1;
    }
    // Failed opens are passed on to the caller.
    CFile in(source, CFile::modeRead | CFile::shareExclusive);
    CFile out(target, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
    int result = 1;
    try {
        std::vector<char> chunk(kStreamChunk);
        for (std::size_t got = in.Read(chunk.data(), chunk.size()); got > 0;
             got = in.Read(chunk.data(), chunk.size())) {
            KeepWindowServed();
            out.Write(chunk.data(), got);
        }
        CopyPermissionBits(source, target);
        in.Close();
        out.Close();
    } catch (const CFileException& error) {
        // The description is shown within the 254 bytes of its buffer.
        AfxMessageBox(error.GetErrorMessage().Left(254));
        result = 0;
    }
    return result;
}
