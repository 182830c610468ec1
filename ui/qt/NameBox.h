#pragma once
// The name box: an editable combo box whose list keeps itself sorted without
// regard to letter case. Changes to the list never touch the text being
// edited, and the selection is lost as soon as the edited text differs from
// the selected item.
#include <QComboBox>

#include <functional>

class CNameBox : public QComboBox {
    Q_OBJECT
public:
    explicit CNameBox(QWidget* pParent = nullptr);

    int AddSorted(const QString& strItem);  // the index the item took
    void DeleteAt(int nIndex);
    void ResetContent();                    // list and text emptied
    int CurSel() const;                     // -1 when nothing is selected
    QString EditText() const;
    void SetEditText(const QString& strText);

signals:
    // The user picked an item (the edit part already shows it).
    void itemPicked(int nIndex);
    // The user changed the text by typing, pasting or deleting.
    void textEditedByUser(const QString& strText);

private:
    void KeepEdit(const std::function<void()>& change);
};
