#pragma once
// The hosts window's table: one row per host the hosts book lists, five
// columns (name, address, hardware address, state, last answer), texts for
// the eye and for screen readers, keys to sort by. The proxy sorts by any
// column and filters on every column as the user types.
#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <vector>

#include "ui/HostsEvents.h"

class CHostsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn { Name, Address, Hardware, State, LastAnswer, ColumnCount };
    static constexpr int kSortRole = Qt::UserRole;
    static constexpr int kIdRole = Qt::UserRole + 1;

    explicit CHostsModel(QObject* pParent = nullptr)
        : QAbstractTableModel(pParent)
    { }

    // The rows as the book gives them now, read on nowMs's clock. The same
    // hosts in the same order change in place, only the rows that changed;
    // otherwise the model resets.
    void SetRows(std::vector<CHostRow> rows, int64_t nNowMs);
    // The clock moved on: the texts that count time read it when next shown
    // (their order stays, so nothing is sorted or filtered again).
    void Tick(int64_t nNowMs) { m_nNowMs = nNowMs; }
    const CHostRow* RowOf(const QModelIndex& index) const;
    // Whether a row's texts hold strFolded (case folded), any column.
    bool Matches(int nRow, const QString& strFolded) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;

    // "up (echo)", "waking 14 s", ...; "1.2 ms", "seen 5 min ago", ...
    static QString StateText(const CHostRow& row, int64_t nNowMs);
    static QString LastAnswerText(const CHostRow& row, int64_t nNowMs);

private:
    // A row's texts that take time to make, made when first asked for.
    struct CTexts {
        bool bMade = false;
        QString strName, strNameKey, strSearch;
    };
    const CTexts& TextsOf(size_t nRow) const;

    std::vector<CHostRow> m_rows;
    mutable std::vector<CTexts> m_texts;
    int64_t m_nNowMs = 0;
};

// Sorted by the model's sort keys; filtered by a text that any column holds,
// letter case aside.
class CHostsFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit CHostsFilter(QObject* pParent = nullptr);
    void SetText(const QString& strText);

protected:
    bool filterAcceptsRow(int nSourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_strFolded;
};
