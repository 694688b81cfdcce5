#include "framework/ConsoleDesktop.h"

#include <unistd.h>

#include <string>

#include "framework/Kernel.h"

void WriteMessageLine(std::FILE* out, const CString& caption, const CString& text) {
    std::fprintf(out, "%s: %s\n", caption.GetString(), text.GetString());
    std::fflush(out);
}

void WriteProgressLine(std::FILE* out, const CString& caption, int position, int upper) {
    std::fprintf(out, "%s: %d/%d\n", caption.GetString(), position, upper);
    std::fflush(out);
}

CConsoleDesktop::CConsoleDesktop(std::FILE* out)
    : m_out(out), m_terminal(::isatty(::fileno(out)) != 0) {}

void CConsoleDesktop::ShowMessageBox(const CString& caption, const CString& text) {
    if (m_barDrawn) {
        std::fputc('\n', m_out);
        m_barDrawn = false;
    }
    WriteMessageLine(m_out, caption, text);
}

void CConsoleDesktop::CreateProgressWindow(const CString& caption,
                                           const CWindowResources& /*resources*/) {
    m_caption = caption;
}

void CConsoleDesktop::SetProgressRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
}

void CConsoleDesktop::SetProgressPos(int position) {
    m_position = position;
    if (m_terminal) {
        DrawBar();
    } else {
        WriteProgressLine(m_out, m_caption, m_position, m_upper);
    }
    std::fflush(m_out);
}

void CConsoleDesktop::DrawBar() {
    constexpr int kWidth = 32;
    const int span = m_upper > m_lower ? m_upper - m_lower : 1;
    int filled = (m_position - m_lower) * kWidth / span;
    filled = filled < 0 ? 0 : (filled > kWidth ? kWidth : filled);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '.');
    std::fprintf(m_out, "\r%s [%s] %d/%d", m_caption.GetString(), bar.c_str(), m_position, m_upper);
    m_barDrawn = true;
}

void CConsoleDesktop::DestroyProgressWindow() {
    if (m_barDrawn) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
        m_barDrawn = false;
    }
}

void CConsoleDesktop::Pause(unsigned milliseconds) {
    SleepMilliseconds(milliseconds);
}
