#include "ui/qt/HostsModel.h"

#include <QFont>

#include <arpa/inet.h>

#include <algorithm>

#include "ui/qt/NameBox.h"

namespace {

QString Text(const std::string& str)
{
    return QString::fromUtf8(str.data(), qsizetype(str.size()));
}

// Seconds as people read them: "14 s", "5 min", "3 h", "2 days".
QString Ago(int64_t nMs)
{
    const int64_t nS = std::max<int64_t>(nMs, 0) / 1000;
    if (nS < 60)
        return QStringLiteral("%1 s").arg(nS);
    if (nS < 3600)
        return QStringLiteral("%1 min").arg(nS / 60);
    if (nS < 48 * 3600)
        return QStringLiteral("%1 h").arg(nS / 3600);
    return QStringLiteral("%1 days").arg(nS / 86400);
}

quint32 AddressKey(const std::string& strIp)
{
    in_addr addr{};
    return inet_pton(AF_INET, strIp.c_str(), &addr) == 1 ? ntohl(addr.s_addr) : 0xFFFFFFFFu;
}

int StateOrder(EHostState state)
{
    switch (state) {
    case EHostState::Up: return 0;
    case EHostState::Waking: return 1;
    case EHostState::Down: return 2;
    case EHostState::Unknown: break;
    }
    return 3;
}

}  // namespace

QString CHostsModel::StateText(const CHostRow& row, int64_t nNowMs)
{
    switch (row.state) {
    case EHostState::Up: return row.strHow.empty() ? tr("up") : tr("up (%1)").arg(Text(row.strHow));
    case EHostState::Down: return tr("down");
    case EHostState::Waking: return tr("waking %1").arg(Ago(nNowMs - row.nWokenMs));
    case EHostState::Unknown: break;
    }
    return tr("unknown");
}

QString CHostsModel::LastAnswerText(const CHostRow& row, int64_t nNowMs)
{
    if (row.state == EHostState::Up && row.dRttMs >= 0)
        return QStringLiteral("%1 ms").arg(row.dRttMs, 0, 'f', 1);
    if (row.nLastSeenMs >= 0)
        return tr("seen %1 ago").arg(Ago(nNowMs - row.nLastSeenMs));
    return {};
}

void CHostsModel::SetRows(std::vector<CHostRow> rows, int64_t nNowMs)
{
    m_nNowMs = nNowMs;
    const bool bSameHosts = std::equal(
        rows.begin(), rows.end(), m_rows.begin(), m_rows.end(),
        [](const CHostRow& a, const CHostRow& b) { return a.nId == b.nId && a.bNew == b.bNew; });
    if (!bSameHosts) {
        beginResetModel();
        m_rows = std::move(rows);
        m_texts.assign(m_rows.size(), {});
        endResetModel();
        return;
    }
    const auto Same = [](const CHostRow& a, const CHostRow& b) {
        return a.strName == b.strName && a.strIp == b.strIp && a.strMacShown == b.strMacShown &&
            a.state == b.state && a.strHow == b.strHow && a.strReason == b.strReason &&
            a.dRttMs == b.dRttMs && a.nLastSeenMs == b.nLastSeenMs && a.nWokenMs == b.nWokenMs;
    };
    // One signal for each run of changed rows.
    for (size_t i = 0; i < rows.size();) {
        if (Same(rows[i], m_rows[i])) {
            ++i;
            continue;
        }
        const size_t nFirst = i;
        for (; i < rows.size() && !Same(rows[i], m_rows[i]); ++i) {
            m_rows[i] = std::move(rows[i]);
            m_texts[i] = {};
        }
        emit dataChanged(index(int(nFirst), 0), index(int(i) - 1, ColumnCount - 1));
    }
}

const CHostsModel::CTexts& CHostsModel::TextsOf(size_t nRow) const
{
    CTexts& texts = m_texts[nRow];
    if (!texts.bMade) {
        const CHostRow& row = m_rows[nRow];
        const QString strShown = CNameBox::ShownText(row.strName);
        texts.strName = row.bNew ? tr("%1 (new)").arg(strShown) : strShown;
        texts.strNameKey = strShown.toCaseFolded();
        texts.strSearch = QStringList{texts.strName, Text(row.strIp), Text(row.strMacShown),
                                      StateText(row, m_nNowMs), LastAnswerText(row, m_nNowMs)}
                              .join(QChar(0))
                              .toCaseFolded();
        texts.bMade = true;
    }
    return texts;
}

bool CHostsModel::Matches(int nRow, const QString& strFolded) const
{
    return nRow >= 0 && size_t(nRow) < m_rows.size() &&
        TextsOf(size_t(nRow)).strSearch.contains(strFolded);
}

const CHostRow* CHostsModel::RowOf(const QModelIndex& index) const
{
    return index.isValid() && size_t(index.row()) < m_rows.size() ? &m_rows[size_t(index.row())]
                                                                  : nullptr;
}

int CHostsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CHostsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CHostsModel::data(const QModelIndex& index, int nRole) const
{
    const CHostRow* pRow = RowOf(index);
    if (!pRow)
        return {};
    const CHostRow& row = *pRow;
    if (nRole == kIdRole)
        return QVariant::fromValue<qulonglong>(row.nId);
    if (nRole == Qt::DisplayRole || nRole == Qt::AccessibleTextRole || nRole == Qt::EditRole) {
        switch (index.column()) {
        case Name: return TextsOf(size_t(index.row())).strName;
        case Address: return Text(row.strIp);
        case Hardware: return Text(row.strMacShown);
        case State: return StateText(row, m_nNowMs);
        case LastAnswer: return LastAnswerText(row, m_nNowMs);
        }
    }
    if (nRole == kSortRole) {
        switch (index.column()) {
        case Name: return TextsOf(size_t(index.row())).strNameKey;
        case Address: return AddressKey(row.strIp);
        case Hardware: return Text(row.strMacShown).toUpper();
        case State: return StateOrder(row.state);
        case LastAnswer:
            return row.state == EHostState::Up && row.dRttMs >= 0 ? row.dRttMs
                : row.nLastSeenMs >= 0 ? 1e9 + double(m_nNowMs - row.nLastSeenMs)
                                       : 1e18;
        }
    }
    if (nRole == Qt::ToolTipRole) {
        if (index.column() == State && !row.strReason.empty())
            return Text(row.strReason);
        if (index.column() == Name && row.bNew)
            return tr("Found by a scan; not in the address book yet (Add to book)");
    }
    if (nRole == Qt::FontRole && row.bNew) {
        QFont font;
        font.setItalic(true);
        return font;
    }
    return {};
}

QVariant CHostsModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const
{
    if (orientation != Qt::Horizontal ||
        (nRole != Qt::DisplayRole && nRole != Qt::AccessibleTextRole))
        return {};
    switch (nSection) {
    case Name: return tr("Name");
    case Address: return tr("IPv4 address");
    case Hardware: return tr("Hardware address");
    case State: return tr("State");
    case LastAnswer: return tr("Last answer");
    }
    return {};
}

CHostsFilter::CHostsFilter(QObject* pParent)
    : QSortFilterProxyModel(pParent)
{
    setSortRole(CHostsModel::kSortRole);
    setDynamicSortFilter(true);
}

void CHostsFilter::SetText(const QString& strText)
{
    m_strFolded = strText.toCaseFolded();
    invalidate();  // one new layout: row by row removals cost a large table far more
}

bool CHostsFilter::filterAcceptsRow(int nSourceRow, const QModelIndex&) const
{
    const auto* pModel = static_cast<const CHostsModel*>(sourceModel());
    return m_strFolded.isEmpty() || pModel->Matches(nSourceRow, m_strFolded);
}
