#pragma once
// Typed letters become upper case, and typing stops at a limit of
// characters. A longer text put in by the program stays as it is and can
// still be shortened by the user.
#include <QLineEdit>
#include <QValidator>

class CUpperCaseValidator : public QValidator {
public:
    explicit CUpperCaseValidator(QLineEdit* pEdit) : QValidator(pEdit), m_strLast(pEdit->text())
    {
        // The field's text has already changed when the edit is validated, so
        // the text before it is kept here.
        connect(pEdit, &QLineEdit::textChanged, this, [this](const QString& strText) { m_strLast = strText; });
    }

    void SetLimit(int nChars) { m_nLimit = nChars; }
    int Limit() const { return m_nLimit; }

    State validate(QString& strInput, int& /*nPos*/) const override
    {
        strInput = strInput.toUpper();
        if (m_nLimit >= 0 && strInput.size() > m_nLimit && strInput.size() > m_strLast.size())
            return Invalid;
        return Acceptable;
    }

private:
    QString m_strLast;
    int m_nLimit = -1;  // none
};
