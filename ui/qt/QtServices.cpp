#include "ui/qt/QtServices.h"

#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#include "base/PrintableText.h"

namespace {

// Message texts are plain text: a name such as "<b>pc</b>" is shown as typed.
QString BoxText(const std::string& strText)
{
    return QString::fromStdString(PrintableText(strText));
}

// A message box is shown with the normal cursor, also while a handler holds
// the wait cursor; the wait cursor comes back when the box closes.
void RunWithNormalCursor(QMessageBox& box)
{
    const bool bWaiting = QGuiApplication::overrideCursor() != nullptr;
    if (bWaiting)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (bWaiting)
        QGuiApplication::restoreOverrideCursor();
}

}  // namespace

void CQtMessageBox::MessageBox(const std::string& strText)
{
    QMessageBox box(QMessageBox::Warning, m_strCaption, BoxText(strText), QMessageBox::Ok,
                    m_pOwner);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    RunWithNormalCursor(box);
}

IMessageBox::ESaveChoice CQtMessageBox::AskSave(ESaveQuestion question, const std::string& strText)
{
    const bool bReplace = question != ESaveQuestion::SaveFailed;
    QMessageBox box(QMessageBox::Question, m_strCaption, BoxText(strText), QMessageBox::NoButton,
                    m_pOwner);
    box.setObjectName(QStringLiteral("saveQuestionBox"));
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    QPushButton* pSave =
        box.addButton(bReplace ? QStringLiteral("&Replace") : QStringLiteral("&Retry"),
                      bReplace ? QMessageBox::DestructiveRole : QMessageBox::AcceptRole);
    QPushButton* pDiscard =
        box.addButton(QStringLiteral("&Close without saving"), QMessageBox::DestructiveRole);
    QPushButton* pStay = box.addButton(QStringLiteral("&Stay open"), QMessageBox::RejectRole);
    // Replacing a file with loss is never what Enter does.
    box.setDefaultButton(bReplace ? pStay : pSave);
    box.setEscapeButton(pStay);
    RunWithNormalCursor(box);
    if (box.clickedButton() == pSave)
        return ESaveChoice::Save;
    if (box.clickedButton() == pDiscard)
        return ESaveChoice::Discard;
    return ESaveChoice::StayOpen;
}

QStringList CQtFileChooser::NameFilters(const CFileDialogRequest& request)
{
    QStringList filters;
    for (const auto& [strLabel, strPattern] : request.filters) {
        const QString label = QString::fromStdString(strLabel);
        const QString pattern = QString::fromStdString(strPattern);
        // The file dialog takes its patterns from the parentheses.
        if (label.endsWith(QLatin1Char(')')) && label.contains(QLatin1Char('(')))
            filters << label;
        else
            filters << label + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters;
}

std::optional<std::string> CQtFileChooser::ChooseFile(const CFileDialogRequest& request)
{
    QFileDialog dialog(m_pOwner);
    dialog.setObjectName(QStringLiteral("fileDialog"));
    dialog.setAcceptMode(request.bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(request.bOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // Export replaces an existing file without asking.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.bOpen);
    dialog.setWindowTitle(request.bOpen ? QStringLiteral("Open") : QStringLiteral("Save As"));
    dialog.setNameFilters(NameFilters(request));
    dialog.setDefaultSuffix(QString::fromStdString(request.strDefaultExtension));
    dialog.selectFile(QString::fromStdString(request.strInitialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}
