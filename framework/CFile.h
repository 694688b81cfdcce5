// Whole-file access as the tool uses it: every file is opened without sharing
// (a second open of a file that is held fails with a sharing violation), reads
// need an existing regular file, writes create or empty it. No open waits (a
// named pipe is refused, not waited on). Every failure raises CFileException.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/CString.h"

struct CFileStatus {
    std::int32_t m_size = 0;       // low 32 bits of the length
    std::uint8_t m_attribute = 0;  // see CFile::Attribute
};

class CFile {
  public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        shareExclusive = 0x0010,
        modeCreate = 0x1000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };
    enum Attribute : std::uint8_t {
        readOnly = 0x01,
        hidden = 0x02,
        system = 0x04,
        volume = 0x08,
        directory = 0x10,
        archive = 0x20,
    };

    CFile() = default;
    CFile(const CString& fileName, unsigned openFlags);
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    void Open(const CString& fileName, unsigned openFlags);
    // Reads up to count bytes (fewer only at the end of the file); returns the count read.
    std::size_t Read(void* buffer, std::size_t count);
    void Write(const void* buffer, std::size_t count);
    // Waits until what was written is on the disk, not only in the system's cache.
    void Flush();
    // Moves the position; returns the new one, counted from the start.
    std::uint64_t Seek(std::int64_t offset, SeekPosition from);
    // The open file's length now (the position stays where it was).
    std::uint64_t GetLength();
    void Close();
    [[nodiscard]] bool IsOpen() const { return m_hFile != kNoHandle; }

    // False when nothing of that name exists.
    static bool GetStatus(const CString& fileName, CFileStatus& status);
    static void Remove(const CString& fileName);
    // Gives oldName's file the name newName in one step, replacing a file of that
    // name: a reader of newName finds the old file or the new one, never a part.
    static void Rename(const CString& oldName, const CString& newName);
    // Adds the bytes at the end of the file in one write, creating it when
    // missing. Unlike Open, it shares the file with other appenders (each write
    // lands whole at the end) and never follows a link in its place.
    static void Append(const CString& fileName, const void* buffer, std::size_t count);

  private:
    static constexpr std::intptr_t kNoHandle = -1;
    // The platform's own handle of the open file, kNoHandle when closed.
    std::intptr_t m_hFile = kNoHandle;
    CString m_strFileName;
};
