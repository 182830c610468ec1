#pragma once
// The name box: an editable combo box whose list keeps itself sorted without
// regard to letter case. Changes to the list never touch the text being
// edited, and the selection is lost as soon as the edited text differs from
// the selected item. Each item keeps the bytes it was given, also when they
// are not UTF-8; they are shown as Latin-1 then, one character a byte.
#include <QComboBox>

#include <functional>
#include <string>
#include <vector>

class CNameListModel;

class CNameBox : public QComboBox {
    Q_OBJECT
public:
    explicit CNameBox(QWidget* pParent = nullptr);

    int AddSorted(const std::string& strItem);              // the index the item took
    void AddSorted(const std::vector<std::string>& items);  // each in its place, in one pass
    void DeleteAt(int nIndex);
    void ResetContent();  // list and text emptied
    int CurSel() const;   // -1 when nothing is selected
    std::string ItemBytes(int nIndex) const;
    // The edited text: the selected item's own bytes while the field shows
    // that item unchanged, otherwise the text as UTF-8.
    std::string EditBytes() const;
    QString EditText() const;
    void SetEditText(const QString& strText);

    // How the box shows a name: UTF-8 as it is, other bytes as Latin-1.
    static QString ShownText(const std::string& strBytes);

signals:
    // The user picked an item (the edit part already shows it).
    void itemPicked(int nIndex);
    // The user changed the text by typing, pasting or deleting.
    void textEditedByUser(const QString& strText);

private:
    void KeepEdit(const std::function<int(int)>& change);

    CNameListModel* m_pModel = nullptr;
};
