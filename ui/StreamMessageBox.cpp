#include "base/PrintableText.h"
#include "ui/MessageBox.h"

void CStreamMessageBox::MessageBox(const std::string& strText)
{
    // One line, whatever the text holds; written whole, NUL bytes included.
    const std::string strLine = PrintableText(m_strAppName) + ": " + PrintableText(strText) + "\n";
    std::fwrite(strLine.data(), 1, strLine.size(), m_pStream);
    std::fflush(m_pStream);
}

IMessageBox::ESaveChoice CStreamMessageBox::AskSave(ESaveQuestion /*question*/,
                                                    const std::string& strText)
{
    // Nobody can be asked here: say what happened and leave things as they are.
    MessageBox(strText);
    return ESaveChoice::StayOpen;
}
