#include "ui/qt/EditHostDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include <tuple>

namespace {

QString Text(const std::string& str)
{
    return QString::fromUtf8(str.data(), qsizetype(str.size()));
}
std::string Bytes(const QString& str) { return str.toUtf8().toStdString(); }

}  // namespace

CEditHostDialog::CEditHostDialog(QWidget* pParent, IHostsEvents& hosts, const CHostRow& row)
    : QDialog(pParent)
{
    setWindowTitle(tr("Edit %1").arg(Text(row.strName)));
    auto* pForm = new QFormLayout;
    for (auto [ppEdit, strLabel, strValue] :
         {std::tuple{&m_pName, tr("&Name:"), Text(row.strName)},
          std::tuple{&m_pIp, tr("&IPv4 address:"), Text(row.strIp == "0.0.0.0" ? "" : row.strIp)},
          std::tuple{&m_pMac, tr("&Hardware address:"), Text(row.strMacShown)}}) {
        *ppEdit = new QLineEdit(strValue, this);
        (*ppEdit)->setAccessibleName(QString(strLabel).remove('&').remove(':'));
        pForm->addRow(strLabel, *ppEdit);
    }
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pForm);
    pLayout->addWidget(pButtons);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(pButtons, &QDialogButtonBox::accepted, this, [this, &hosts, nId = row.nId] {
        std::string strError;
        if (hosts.Edit(nId, Bytes(m_pName->text()), Bytes(m_pIp->text()), Bytes(m_pMac->text()),
                       strError))
            return accept();
        QMessageBox::warning(this, windowTitle(), Text(strError));
    });
}
