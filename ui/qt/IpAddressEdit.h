#pragma once
// The IP address control: four numeric fields (0 to 255) separated by dots.
// A blank field reads as 0. "." or a third digit moves to the next field,
// Backspace in an empty field moves back.
#include <QFrame>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

class QLineEdit;

class CIpAddressEdit : public QFrame {
    Q_OBJECT
public:
    explicit CIpAddressEdit(QWidget* pParent = nullptr);

    // Dotted text; blank fields as 0, so a blank control gives "0.0.0.0".
    QString Text() const;
    // Dotted text "a.b.c.d" fills the fields; anything else blanks them.
    void SetText(const QString& strText);
    void Clear();
    bool IsBlank() const;
    // Host order: the first field in the top byte.
    void SetAddress(uint32_t dwAddress);
    uint32_t Address() const;

    QLineEdit* Field(int n) const { return m_fields[static_cast<size_t>(n)]; }

    // Parses "a.b.c.d" with every part a decimal number from 0 to 255.
    static std::optional<std::array<int, 4>> ParseDotted(const QString& strText);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void OnFieldEdited(int nField, const QString& strText);
    void FocusField(int nField, bool bAtEnd);

    std::array<QLineEdit*, 4> m_fields{};
};
