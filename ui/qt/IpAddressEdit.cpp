#include "ui/qt/IpAddressEdit.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QValidator>

namespace {

// Up to three digits; a number above 255 is cut back to 255, as the user
// types it.
class COctetValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& strInput, int& /*nPos*/) const override
    {
        if (strInput.size() > 3)
            return Invalid;
        for (const QChar ch : strInput)
            if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
                return Invalid;
        if (!strInput.isEmpty() && strInput.toInt() > 255)
            strInput = QStringLiteral("255");
        return Acceptable;
    }
};

}  // namespace

CIpAddressEdit::CIpAddressEdit(QWidget* pParent)
    : QFrame(pParent)
{
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    // The fields sit on a line edit's background.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    auto* pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(2, 1, 2, 1);
    pLayout->setSpacing(0);
    auto* pValidator = new COctetValidator(this);
    for (int n = 0; n < 4; ++n) {
        if (n > 0) {
            auto* pDot = new QLabel(QStringLiteral("."), this);
            pDot->setAlignment(Qt::AlignCenter);
            pLayout->addWidget(pDot);
        }
        auto* pField = new QLineEdit(this);
        pField->setFrame(false);
        pField->setAlignment(Qt::AlignCenter);
        pField->setValidator(pValidator);
        pField->setMaxLength(3);
        pField->setObjectName(QStringLiteral("field%1").arg(n));
        pField->setAccessibleName(QStringLiteral("IP address, part %1 of 4").arg(n + 1));
        pField->setMinimumWidth(1);
        pField->setAttribute(Qt::WA_MacShowFocusRect, false);
        // One tab stop for the whole control, as a single control.
        pField->setFocusPolicy(n == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        pField->installEventFilter(this);
        connect(pField, &QLineEdit::textEdited, this,
                [this, n](const QString& strText) { OnFieldEdited(n, strText); });
        pLayout->addWidget(pField, 1);
        m_fields[static_cast<size_t>(n)] = pField;
    }
    setFocusProxy(m_fields[0]);
}

QString CIpAddressEdit::Text() const
{
    QStringList parts;
    for (const QLineEdit* pField : m_fields)
        parts << QString::number(pField->text().isEmpty() ? 0 : pField->text().toInt());
    return parts.join(QLatin1Char('.'));
}

std::optional<std::array<int, 4>> CIpAddressEdit::ParseDotted(const QString& strText)
{
    const QStringList parts = strText.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    std::array<int, 4> octets{};
    for (int n = 0; n < 4; ++n) {
        const QString& strPart = parts[n];
        if (strPart.isEmpty() || strPart.size() > 3)
            return std::nullopt;
        for (const QChar ch : strPart)
            if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
                return std::nullopt;
        const int nValue = strPart.toInt();
        if (nValue > 255)
            return std::nullopt;
        octets[static_cast<size_t>(n)] = nValue;
    }
    return octets;
}

void CIpAddressEdit::SetText(const QString& strText)
{
    const auto octets = ParseDotted(strText);
    if (!octets) {
        Clear();
        return;
    }
    for (int n = 0; n < 4; ++n) {
        const QSignalBlocker block(m_fields[static_cast<size_t>(n)]);
        m_fields[static_cast<size_t>(n)]->setText(
            QString::number((*octets)[static_cast<size_t>(n)]));
    }
}

void CIpAddressEdit::Clear()
{
    for (QLineEdit* pField : m_fields) {
        const QSignalBlocker block(pField);
        pField->clear();
    }
}

bool CIpAddressEdit::IsBlank() const
{
    for (const QLineEdit* pField : m_fields)
        if (!pField->text().isEmpty())
            return false;
    return true;
}

void CIpAddressEdit::SetAddress(uint32_t dwAddress)
{
    for (int n = 0; n < 4; ++n) {
        const QSignalBlocker block(m_fields[static_cast<size_t>(n)]);
        m_fields[static_cast<size_t>(n)]->setText(
            QString::number((dwAddress >> (24 - 8 * n)) & 0xFFu));
    }
}

uint32_t CIpAddressEdit::Address() const
{
    uint32_t dwAddress = 0;
    for (const QLineEdit* pField : m_fields)
        dwAddress = (dwAddress << 8) |
            static_cast<uint32_t>(pField->text().isEmpty() ? 0 : pField->text().toInt());
    return dwAddress;
}

void CIpAddressEdit::FocusField(int nField, bool bAtEnd)
{
    QLineEdit* pField = m_fields[static_cast<size_t>(nField)];
    pField->setFocus(Qt::OtherFocusReason);
    if (bAtEnd)
        pField->end(false);
    else
        pField->selectAll();
}

void CIpAddressEdit::OnFieldEdited(int nField, const QString& strText)
{
    QLineEdit* pField = m_fields[static_cast<size_t>(nField)];
    if (nField < 3 && strText.size() == 3 && pField->cursorPosition() == 3)
        FocusField(nField + 1, false);
}

bool CIpAddressEdit::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pEvent->type() != QEvent::KeyPress)
        return QFrame::eventFilter(pWatched, pEvent);
    int nField = -1;
    for (int n = 0; n < 4; ++n)
        if (pWatched == m_fields[static_cast<size_t>(n)])
            nField = n;
    if (nField < 0)
        return QFrame::eventFilter(pWatched, pEvent);

    auto* pKey = static_cast<QKeyEvent*>(pEvent);
    QLineEdit* pField = m_fields[static_cast<size_t>(nField)];
    const bool bPlain = (pKey->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (pKey->text() == QLatin1String(".") || (pKey->key() == Qt::Key_Space && bPlain)) {
        if (nField < 3 && !pField->text().isEmpty())
            FocusField(nField + 1, false);
        return true;  // never typed into a field
    }
    // The control is one tab stop: Shift+Tab from any field goes to the
    // stop before it, as it does from the first field.
    const bool bBacktab = pKey->key() == Qt::Key_Backtab ||
        (pKey->key() == Qt::Key_Tab && (pKey->modifiers() & Qt::ShiftModifier));
    if (bBacktab && nField > 0 && !(pKey->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        m_fields[0]->setFocus(Qt::OtherFocusReason);
        QCoreApplication::sendEvent(m_fields[0], pKey);
        return true;
    }
    if (pKey->key() == Qt::Key_Backspace && bPlain && nField > 0 && pField->cursorPosition() == 0 &&
        !pField->hasSelectedText()) {
        FocusField(nField - 1, true);
        return true;
    }
    if (pKey->key() == Qt::Key_Right && bPlain && nField < 3 &&
        pField->cursorPosition() == pField->text().size()) {
        FocusField(nField + 1, false);
        return true;
    }
    if (pKey->key() == Qt::Key_Left && bPlain && nField > 0 && pField->cursorPosition() == 0) {
        FocusField(nField - 1, true);
        return true;
    }
    return QFrame::eventFilter(pWatched, pEvent);
}
