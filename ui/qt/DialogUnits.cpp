#include "ui/qt/DialogUnits.h"

#include <QFontMetrics>

CDialogUnits::CDialogUnits(const QFont& font)
{
    // The average width is taken over the 52 Latin letters, rounded.
    static const QString strLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetrics metrics(font);
    m_nBaseX = (metrics.horizontalAdvance(strLetters) + 26) / 52;
    m_nBaseY = metrics.height();
    if (m_nBaseX < 1)
        m_nBaseX = 1;
    if (m_nBaseY < 1)
        m_nBaseY = 1;
}
