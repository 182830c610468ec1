#pragma once
// The message box service: a modal box with an OK button and a warning icon,
// captioned with the application's name. In the command-line modes the box is
// one line on standard error. Either way the text is shown as PrintableText
// makes it.
#include <cstdio>
#include <string>

class IMessageBox {
public:
    virtual ~IMessageBox() = default;

    virtual void MessageBox(const std::string& strText) = 0;

    // Questions before the window closes without its address book saved: a
    // save that failed, or a profile that a save would replace with loss: one
    // that could not be read, one changed by someone else since it was read,
    // one holding entries the list does not carry. The user may save after
    // all (retry, or replace), close without saving, or keep the window
    // open. Escape and the close box keep it open; the questions about
    // replacing have that as their default too, so that only a deliberate
    // choice replaces the file.
    enum class ESaveQuestion { SaveFailed, ReplaceUnread, ReplaceChanged, ReplaceLeftovers };
    enum class ESaveChoice { Save, Discard, StayOpen };
    virtual ESaveChoice AskSave(ESaveQuestion question, const std::string& strText) = 0;
};

// "nuvik: <text>" on a stream (standard error by default).
class CStreamMessageBox : public IMessageBox {
public:
    explicit CStreamMessageBox(std::string strAppName, std::FILE* pStream = stderr)
        : m_strAppName(std::move(strAppName))
        , m_pStream(pStream)
    { }

    void MessageBox(const std::string& strText) override;
    ESaveChoice AskSave(ESaveQuestion question, const std::string& strText) override;

private:
    std::string m_strAppName;
    std::FILE* m_pStream;
};
