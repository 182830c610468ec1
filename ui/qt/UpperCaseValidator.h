#pragma once
// Typed letters become upper case, and the text stops at a limit of
// characters: what is typed or pasted beyond it is cut off, as in any
// limited edit box. A longer text put in by the program stays as it is and
// can still be shortened by the user.
#include <QLineEdit>
#include <QValidator>

#include <algorithm>

class CUpperCaseValidator : public QValidator {
public:
    explicit CUpperCaseValidator(QLineEdit* pEdit)
        : QValidator(pEdit)
        , m_pEdit(pEdit)
        , m_strLast(pEdit->text())
    {
        // The field's text has already changed when the edit is validated, so
        // the text before it is kept here.
        connect(pEdit, &QLineEdit::textChanged, this,
                [this](const QString& strText) { m_strLast = strText; });
    }

    void SetLimit(int nChars) { m_nLimit = nChars; }
    int Limit() const { return m_nLimit; }

    // The program's own text: kept whole, whatever its length.
    void SetText(const QString& strText)
    {
        m_bSetting = true;
        m_pEdit->setText(strText);
        m_bSetting = false;
    }

    State validate(QString& strInput, int& nPos) const override
    {
        strInput = strInput.toUpper();
        if (m_bSetting || m_nLimit < 0 || strInput.size() <= m_nLimit ||
            strInput.size() <= m_strLast.size())
            return Acceptable;
        // The edit inserted text just before the caret; what follows the
        // caret was there before. Keep as much of the insertion as fits.
        const qsizetype nTail = std::min(strInput.size() - nPos, m_strLast.size());
        qsizetype nHead = 0;
        const qsizetype nHeadMax = std::min<qsizetype>(nPos, m_strLast.size() - nTail);
        while (nHead < nHeadMax && strInput[nHead] == m_strLast[nHead].toUpper())
            ++nHead;
        const qsizetype nRoom = std::max<qsizetype>(0, m_nLimit - nHead - nTail);
        const qsizetype nInserted = std::min<qsizetype>(nPos - nHead, nRoom);
        if (nInserted <= 0)
            return Invalid;
        strInput = strInput.left(nHead + nInserted) + strInput.right(nTail);
        nPos = static_cast<int>(nHead + nInserted);
        return Acceptable;
    }

private:
    QLineEdit* m_pEdit;
    QString m_strLast;
    bool m_bSetting = false;
    int m_nLimit = -1;  // none
};
