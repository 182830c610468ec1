#include "ui/qt/AboutBox.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

#include "ui/qt/DialogUnits.h"

const char* const kCopyrightNotice = "Copyright (c) 2026 The nuvik developers";

CAboutBox::CAboutBox(const QString& strVersion, QWidget* pParent)
    : QDialog(pParent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("About NUVIK"));
    setObjectName(QStringLiteral("aboutBox"));
    const CDialogUnits du(font());
    const QFontMetrics metrics(font());

    auto* pVersion = new QLabel(QStringLiteral("NUVIK version ") + strVersion, this);
    pVersion->setTextFormat(Qt::PlainText);
    pVersion->setObjectName(QStringLiteral("version"));
    auto* pCopyright = new QLabel(QString::fromUtf8(kCopyrightNotice), this);
    pCopyright->setTextFormat(Qt::PlainText);
    pCopyright->setObjectName(QStringLiteral("copyright"));

    // The texts keep their places; a text wider than its place pushes the
    // button, and the box with it, to the right rather than being cut.
    QRect rcVersion = du.Rect(7, 7, 65, 8);
    QRect rcCopyright = du.Rect(7, 18, 85, 8);
    rcVersion.setWidth(
        std::max(rcVersion.width(), metrics.horizontalAdvance(pVersion->text()) + 2));
    rcCopyright.setWidth(
        std::max(rcCopyright.width(), metrics.horizontalAdvance(pCopyright->text()) + 2));
    pVersion->setGeometry(rcVersion);
    pCopyright->setGeometry(rcCopyright);

    QRect rcOk = du.Rect(98, 10, 50, 16);
    const int nTextRight = std::max(rcVersion.right(), rcCopyright.right()) + du.X(6);
    if (rcOk.left() < nTextRight)
        rcOk.moveLeft(nTextRight);
    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setObjectName(QStringLiteral("ok"));
    pOk->setGeometry(rcOk);
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);

    const QSize size = du.Size(155, 33);
    setFixedSize(std::max(size.width(), rcOk.right() + 1 + du.X(7)), size.height());
    pOk->setFocus();
}
