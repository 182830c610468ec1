#include "ui/qt/NameBox.h"

#include <QLineEdit>
#include <QSignalBlocker>

CNameBox::CNameBox(QWidget* pParent) : QComboBox(pParent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true);
    setMaxVisibleItems(8);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // No completion: the text is what the user typed, nothing more.
    setCompleter(nullptr);
    QLineEdit* pEdit = lineEdit();
    // The combo box would pick an item itself when the typed text matches
    // one on Enter or when the field loses the focus; only the user picks.
    disconnect(pEdit, SIGNAL(returnPressed()), this, nullptr);
    disconnect(pEdit, SIGNAL(editingFinished()), this, nullptr);
    connect(pEdit, &QLineEdit::textEdited, this, &CNameBox::textEditedByUser);
    connect(this, qOverload<int>(&QComboBox::activated), this, &CNameBox::itemPicked);
}

void CNameBox::KeepEdit(const std::function<void()>& change)
{
    const QSignalBlocker blockCombo(this);
    const QSignalBlocker blockEdit(lineEdit());
    const QString strText = lineEdit()->text();
    change();
    if (lineEdit()->text() != strText)
        lineEdit()->setText(strText);
}

int CNameBox::AddSorted(const QString& strItem)
{
    int nAt = 0;
    while (nAt < count() && QString::compare(itemText(nAt), strItem, Qt::CaseInsensitive) <= 0)
        ++nAt;
    KeepEdit([&] {
        int nCurrent = currentIndex();
        insertItem(nAt, strItem);
        if (nCurrent >= 0 && nAt <= nCurrent)
            ++nCurrent;
        // The first item added to an empty list would become current.
        setCurrentIndex(nCurrent);
    });
    return nAt;
}

void CNameBox::DeleteAt(int nIndex)
{
    if (nIndex < 0 || nIndex >= count())
        return;
    KeepEdit([&] {
        int nCurrent = currentIndex();
        removeItem(nIndex);
        if (nCurrent == nIndex)
            nCurrent = -1;
        else if (nCurrent > nIndex)
            --nCurrent;
        setCurrentIndex(nCurrent);
    });
}

void CNameBox::ResetContent()
{
    const QSignalBlocker blockCombo(this);
    const QSignalBlocker blockEdit(lineEdit());
    clear();
    lineEdit()->clear();
}

int CNameBox::CurSel() const
{
    const int nCurrent = currentIndex();
    if (nCurrent < 0 || itemText(nCurrent) != lineEdit()->text())
        return -1;
    return nCurrent;
}

QString CNameBox::EditText() const
{
    return lineEdit()->text();
}

void CNameBox::SetEditText(const QString& strText)
{
    // Rewriting the same text would move the caret while the user types.
    if (lineEdit()->text() == strText)
        return;
    const QSignalBlocker blockCombo(this);
    const QSignalBlocker blockEdit(lineEdit());
    lineEdit()->setText(strText);
}
