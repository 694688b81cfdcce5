#include "framework/CString.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
std::size_t Clamp(int value, std::size_t limit) {
    if (value < 0) {
        return 0;
    }
    return static_cast<std::size_t>(value) < limit ? static_cast<std::size_t>(value) : limit;
}
}  // namespace

CString::CString(const char* text) : m_text(text != nullptr ? text : "") {}

CString::CString(const char* text, std::size_t length) : m_text(text, length) {
    m_text.resize(std::strlen(m_text.c_str()));
}

int CString::Find(char ch, int start) const {
    const auto pos = m_text.find(ch, Clamp(start, m_text.size()));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const {
    const auto pos = m_text.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const {
    return CString(m_text.substr(0, Clamp(count, m_text.size())));
}

CString CString::Mid(int first) const {
    return CString(m_text.substr(Clamp(first, m_text.size())));
}

CString CString::Mid(int first, int count) const {
    const std::size_t from = Clamp(first, m_text.size());
    return CString(m_text.substr(from, Clamp(count, m_text.size() - from)));
}

CString& CString::TrimRight() {
    const auto last = m_text.find_last_not_of(" \t\r\n\v\f");
    m_text.erase(last == std::string::npos ? 0 : last + 1);
    return *this;
}

CString& CString::MakeLower() {
    for (char& ch : m_text) {
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }
    return *this;
}

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        va_end(args);
        m_text.clear();
        return;
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<std::size_t>(length));
    m_text = std::move(text);
}

CString& CString::operator+=(const CString& other) {
    m_text += other.m_text;
    return *this;
}

CString& CString::operator+=(char ch) {
    if (ch != '\0') {
        m_text += ch;
    }
    return *this;
}

CString operator+(const CString& a, const CString& b) {
    return CString(a.m_text + b.m_text);
}
CString operator+(const CString& a, const char* b) {
    return a + CString(b);
}
CString operator+(const char* a, const CString& b) {
    return CString(a) + b;
}

int CString::Compare(const char* other) const {
    return std::strcmp(m_text.c_str(), other != nullptr ? other : "");
}
