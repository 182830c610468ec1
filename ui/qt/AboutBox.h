#pragma once
// The About box: the program's version and copyright notice, and "OK".
#include <QDialog>

class CAboutBox : public QDialog {
    Q_OBJECT
public:
    CAboutBox(const QString& strVersion, QWidget* pParent = nullptr);
};

extern const char* const kCopyrightNotice;
