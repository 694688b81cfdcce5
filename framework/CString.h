// 8-bit text string with the handful of operations the tool needs: byte-wise,
// no character-set conversion, embedded NULs never appear (texts end at the
// first NUL byte when they are built from C strings).
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

class CString {
  public:
    CString() = default;
    CString(const char* text);  // NOLINT(google-explicit-constructor): texts mix freely
    CString(const char* text, std::size_t length);
    CString(std::string text) : m_text(std::move(text)) {}  // NOLINT(google-explicit-constructor)

    [[nodiscard]] int GetLength() const { return static_cast<int>(m_text.size()); }
    [[nodiscard]] bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    [[nodiscard]] const char* GetString() const { return m_text.c_str(); }
    [[nodiscard]] const std::string& str() const { return m_text; }
    [[nodiscard]] char GetAt(int index) const { return m_text.at(static_cast<std::size_t>(index)); }

    // Position of the first / last occurrence, or -1.
    [[nodiscard]] int Find(char ch, int start = 0) const;
    [[nodiscard]] int ReverseFind(char ch) const;

    [[nodiscard]] CString Left(int count) const;
    [[nodiscard]] CString Mid(int first) const;
    [[nodiscard]] CString Mid(int first, int count) const;

    // Removes trailing blanks, tabs, carriage returns, line feeds, vertical tabs and form feeds.
    CString& TrimRight();
    // ASCII letters only; bytes of the multi-byte code page stay as they are.
    CString& MakeLower();

    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

    CString& operator+=(const CString& other);
    CString& operator+=(char ch);
    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);

    // Byte-for-byte comparison, as strcmp.
    [[nodiscard]] int Compare(const char* other) const;
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }

  private:
    std::string m_text;
};

// For diagnostics (tests, logs of the tools).
std::ostream& operator<<(std::ostream& out, const CString& text);
