#pragma once

#include <QDialog>
#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// The about box: title, version, two notices, and the machine's address.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    // localAddress gives the machine's address; it is asked once per opening.
    frmAbout(std::function<QString()> localAddress, QWidget *owner);

    // "Version major.minor.revision", each in plain decimal.
    static QString versionLine(int major, int minor, int revision);

    void cmdOK_Click();

    QLineEdit *const Text1;
    QLabel *const picIcon;
    QPushButton *const cmdOK;
    QLabel *const Label3;
    QLabel *const Label2;
    QLabel *const Label1;
    QLabel *const lblDescription;
    QLabel *const lblTitle;
    // Line1[1] the grey rule, Line1[0] the white one under it: an etched line.
    std::array<QWidget *, 2> Line1;
    QLabel *const lblVersion;

private:
    // The icon, OK, and the machine's address with its labels.
    void placeAddressAndButton();
    // The title, version, notices and the rule.
    void placeNotices();
    void Form_Load();

    std::function<QString()> m_localAddress;
};
