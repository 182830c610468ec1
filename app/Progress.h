#pragma once
// A progress line on a terminal: shown over itself while a long run goes on,
// gone before the run's own lines are printed.
#include <cstdio>
#include <string>

class CProgressLine {
public:
    // pStream: standard error when it is a terminal; null: nothing is shown.
    explicit CProgressLine(std::FILE* pStream)
        : m_pStream(pStream)
    { }
    ~CProgressLine() { Clear(); }
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    void Show(const std::string& strText)
    {
        if (!m_pStream)
            return;
        std::fprintf(m_pStream, "\r%s\x1b[K", strText.c_str());
        std::fflush(m_pStream);
        m_bShown = true;
    }
    void Clear()
    {
        if (m_bShown)
            std::fputs("\r\x1b[K", m_pStream), std::fflush(m_pStream);
        m_bShown = false;
    }

private:
    std::FILE* m_pStream;
    bool m_bShown = false;
};
