#pragma once
// Message boxes and file dialogs for the main window.
#include <QString>

#include "ui/FileChooser.h"
#include "ui/MessageBox.h"

class QWidget;

class CQtMessageBox : public IMessageBox {
public:
    CQtMessageBox(QWidget* pOwner, QString strCaption)
        : m_pOwner(pOwner)
        , m_strCaption(std::move(strCaption))
    { }

    void MessageBox(const std::string& strText) override;
    ESaveChoice AskSave(ESaveQuestion question, const std::string& strText) override;

private:
    QWidget* m_pOwner;
    QString m_strCaption;
};

class CQtFileChooser : public IFileChooser {
public:
    explicit CQtFileChooser(QWidget* pOwner)
        : m_pOwner(pOwner)
    { }

    std::optional<std::string> ChooseFile(const CFileDialogRequest& request) override;

    // "Label (pattern)" for each pair, as the file dialog shows them.
    static QStringList NameFilters(const CFileDialogRequest& request);

private:
    QWidget* m_pOwner;
};
