#include "ui/qt/NameBox.h"

#include <QAbstractListModel>
#include <QLineEdit>
#include <QListView>
#include <QSignalBlocker>
#include <QStringDecoder>

#include <algorithm>

namespace {

bool IsDirectionControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069);
}

// How an item shows in the drop-down list: as it is, but with a direction
// control in it (an override left open, say) shut in an isolate of its own,
// so that it reorders nothing outside the item. A stray closing PDI would
// end that isolate early and is left out; isolates left open are closed.
QString IsolatedText(const QString& strText)
{
    if (std::none_of(strText.begin(), strText.end(),
                     [](QChar c) { return IsDirectionControl(c.unicode()); }))
        return strText;
    constexpr char16_t kFsi = 0x2068, kPdi = 0x2069;
    QString strOut{QChar(kFsi)};
    int nOpen = 0;
    for (const QChar c : strText) {
        if (c.unicode() == kPdi) {
            if (nOpen == 0)
                continue;  // it would close the item's own isolate
            --nOpen;
        } else if (c.unicode() >= 0x2066 && c.unicode() < kPdi) {
            ++nOpen;
        }
        strOut += c;
    }
    return strOut + QString(nOpen + 1, QChar(kPdi));
}

}  // namespace

// The list behind the name box: what each item shows and the bytes it
// stands for, in sorted order. A whole batch of names goes in with one sort
// and one reset, so filling the box costs n log n, not n squared.
class CNameListModel : public QAbstractListModel {
public:
    struct CItem {
        explicit CItem(std::string strItemBytes)
            : strShown(CNameBox::ShownText(strItemBytes))
            , strListed(IsolatedText(strShown))
            , strKey(strShown.toCaseFolded())
            , strBytes(std::move(strItemBytes))
        { }
        QString strShown;   // in the edit field, which holds nothing else
        QString strListed;  // in the drop-down list
        QString strKey;     // folded once, so that sorting compares plain text
        std::string strBytes;
    };

    using QAbstractListModel::QAbstractListModel;

    static bool Less(const CItem& a, const CItem& b) { return a.strKey < b.strKey; }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_items.size());
    }

    QVariant data(const QModelIndex& index, int nRole) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const CItem& item = m_items[static_cast<size_t>(index.row())];
        if (nRole == Qt::DisplayRole)
            return item.strListed;
        if (nRole == Qt::EditRole)  // what an editable box puts in its field
            return item.strShown;
        if (nRole == Qt::UserRole)
            return QByteArray::fromStdString(item.strBytes);
        return {};
    }

    bool removeRows(int nRow, int nCount, const QModelIndex& parent = {}) override
    {
        if (parent.isValid() || nRow < 0 || nCount <= 0 || nRow + nCount > rowCount())
            return false;
        beginRemoveRows({}, nRow, nRow + nCount - 1);
        m_items.erase(m_items.begin() + nRow, m_items.begin() + nRow + nCount);
        endRemoveRows();
        return true;
    }

    const CItem& Item(int nRow) const { return m_items[static_cast<size_t>(nRow)]; }

    // After the items that compare equal, as a sorted list box puts it.
    int Insert(CItem item)
    {
        const auto it = std::upper_bound(m_items.begin(), m_items.end(), item, Less);
        const int nRow = static_cast<int>(it - m_items.begin());
        beginInsertRows({}, nRow, nRow);
        m_items.insert(it, std::move(item));
        endInsertRows();
        return nRow;
    }

    // The same order as inserting them one after the other. Returns where
    // the item at nFollow (or -1) went.
    int Merge(std::vector<CItem> items, int nFollow)
    {
        std::stable_sort(items.begin(), items.end(), Less);
        if (nFollow >= 0)
            nFollow += static_cast<int>(
                std::lower_bound(items.begin(), items.end(), Item(nFollow), Less) - items.begin());
        std::vector<CItem> merged;
        merged.reserve(m_items.size() + items.size());
        std::merge(std::make_move_iterator(m_items.begin()), std::make_move_iterator(m_items.end()),
                   std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()),
                   std::back_inserter(merged), Less);
        beginResetModel();
        m_items = std::move(merged);
        endResetModel();
        return nFollow;
    }

private:
    std::vector<CItem> m_items;
};

CNameBox::CNameBox(QWidget* pParent)
    : QComboBox(pParent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true);
    setMaxVisibleItems(8);
    // Sized by its place in the window, never by its items.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pModel = new CNameListModel(this);
    setModel(m_pModel);
    // The drop-down list lays out one row height for all, not each item.
    if (auto* pList = qobject_cast<QListView*>(view()))
        pList->setUniformItemSizes(true);
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

QString CNameBox::ShownText(const std::string& strBytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QString strText =
        decoder(QByteArrayView(strBytes.data(), static_cast<qsizetype>(strBytes.size())));
    if (!decoder.hasError())
        return strText;
    return QString::fromLatin1(strBytes.data(), static_cast<qsizetype>(strBytes.size()));
}

// Runs a change of the list, which returns the current item's new index,
// and keeps the edited text and the selection as they were.
void CNameBox::KeepEdit(const std::function<int(int)>& change)
{
    const QSignalBlocker blockCombo(this);
    const QSignalBlocker blockEdit(lineEdit());
    const QString strText = lineEdit()->text();
    const int nCurrent = change(currentIndex());
    // The first item added to an empty list would become current.
    setCurrentIndex(nCurrent);
    if (lineEdit()->text() != strText)
        lineEdit()->setText(strText);
}

int CNameBox::AddSorted(const std::string& strItem)
{
    int nAt = 0;
    KeepEdit([&](int nCurrent) {
        nAt = m_pModel->Insert(CNameListModel::CItem(strItem));
        return nCurrent >= 0 && nAt <= nCurrent ? nCurrent + 1 : nCurrent;
    });
    return nAt;
}

void CNameBox::AddSorted(const std::vector<std::string>& items)
{
    if (items.empty())
        return;
    std::vector<CNameListModel::CItem> newItems;
    newItems.reserve(items.size());
    for (const std::string& strItem : items)
        newItems.emplace_back(strItem);
    KeepEdit([&](int nCurrent) { return m_pModel->Merge(std::move(newItems), nCurrent); });
}

void CNameBox::DeleteAt(int nIndex)
{
    if (nIndex < 0 || nIndex >= count())
        return;
    KeepEdit([&](int nCurrent) {
        m_pModel->removeRows(nIndex, 1);
        return nCurrent == nIndex ? -1 : nCurrent > nIndex ? nCurrent - 1 : nCurrent;
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

std::string CNameBox::ItemBytes(int nIndex) const
{
    if (nIndex < 0 || nIndex >= count())
        return {};
    return m_pModel->Item(nIndex).strBytes;
}

std::string CNameBox::EditBytes() const
{
    const int nSel = CurSel();
    return nSel >= 0 ? ItemBytes(nSel) : lineEdit()->text().toStdString();
}

QString CNameBox::EditText() const { return lineEdit()->text(); }

void CNameBox::SetEditText(const QString& strText)
{
    // Rewriting the same text would move the caret while the user types.
    if (lineEdit()->text() == strText)
        return;
    const QSignalBlocker blockCombo(this);
    const QSignalBlocker blockEdit(lineEdit());
    lineEdit()->setText(strText);
}
