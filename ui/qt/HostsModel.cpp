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
        endResetModel();
        return;
    }
    m_rows = std::move(rows);
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void CHostsModel::Tick(int64_t nNowMs)
{
    m_nNowMs = nNowMs;
    if (!m_rows.empty())
        emit dataChanged(index(0, State), index(rowCount() - 1, LastAnswer),
                         {Qt::DisplayRole, Qt::AccessibleTextRole});
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
        case Name:
            return row.bNew ? tr("%1 (new)").arg(CNameBox::ShownText(row.strName))
                            : CNameBox::ShownText(row.strName);
        case Address: return Text(row.strIp);
        case Hardware: return Text(row.strMacShown);
        case State: return StateText(row, m_nNowMs);
        case LastAnswer: return LastAnswerText(row, m_nNowMs);
        }
    }
    if (nRole == kSortRole) {
        switch (index.column()) {
        case Name: return CNameBox::ShownText(row.strName).toCaseFolded();
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
    setFilterKeyColumn(-1);  // every column
    setFilterCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true);
}
