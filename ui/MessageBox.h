#pragma once
// The message box service: a modal box with an OK button and a warning icon,
// captioned with the application's name. In the command-line modes the box is
// one line on standard error.
#include <cstdio>
#include <string>

class IMessageBox {
public:
    virtual ~IMessageBox() = default;

    virtual void MessageBox(const std::string& strText) = 0;

    // A failed save at closing: the user may retry, close without saving, or
    // keep the window open.
    enum class ESaveChoice { Retry, Discard, StayOpen };
    virtual ESaveChoice AskSaveFailed(const std::string& strText) = 0;
};

// "nuvik: <text>" on a stream (standard error by default).
class CStreamMessageBox : public IMessageBox {
public:
    explicit CStreamMessageBox(std::string strAppName, std::FILE* pStream = stderr)
        : m_strAppName(std::move(strAppName)), m_pStream(pStream) {}

    void MessageBox(const std::string& strText) override;
    ESaveChoice AskSaveFailed(const std::string& strText) override;

private:
    std::string m_strAppName;
    std::FILE* m_pStream;
};
