#pragma once
// The hosts window's editor of one host: its name, IPv4 address and
// hardware address; the hosts book says what it can't take, and the dialog
// stays open for another try.
#include <QDialog>

#include "ui/HostsEvents.h"

class QLineEdit;

class CEditHostDialog : public QDialog {
public:
    CEditHostDialog(QWidget* pParent, IHostsEvents& hosts, const CHostRow& row);

private:
    QLineEdit* m_pName = nullptr;
    QLineEdit* m_pIp = nullptr;
    QLineEdit* m_pMac = nullptr;
};
