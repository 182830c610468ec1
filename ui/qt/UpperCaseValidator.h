#pragma once
// Typed letters become upper case, and typing stops at a limit of
// characters. A longer text put in by the program stays as it is and can
// still be shortened by the user.
#include <QLineEdit>
#include <QValidator>

class CUpperCaseValidator : public QValidator {
public:
    explicit CUpperCaseValidator(QLineEdit* pEdit) : QValidator(pEdit), m_pEdit(pEdit) {}

    void SetLimit(int nChars) { m_nLimit = nChars; }
    int Limit() const { return m_nLimit; }

    State validate(QString& strInput, int& /*nPos*/) const override
    {
        strInput = strInput.toUpper();
        if (m_nLimit >= 0 && strInput.size() > m_nLimit && strInput.size() > m_pEdit->text().size())
            return Invalid;
        return Acceptable;
    }

private:
    QLineEdit* m_pEdit;
    int m_nLimit = -1;  // none
};
