#include "ui/MessageBox.h"

void CStreamMessageBox::MessageBox(const std::string& strText)
{
    std::fprintf(m_pStream, "%s: %s\n", m_strAppName.c_str(), strText.c_str());
    std::fflush(m_pStream);
}

IMessageBox::ESaveChoice CStreamMessageBox::AskSaveFailed(const std::string& strText)
{
    // Nobody can be asked here: say what happened and leave things as they are.
    MessageBox(strText);
    return ESaveChoice::StayOpen;
}
