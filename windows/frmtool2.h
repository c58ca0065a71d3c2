#pragma once

#include "shared/toolspaneldisplay.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
struct Measurements;

// The tools panel: the link-ping switch and the fields the document windows fill with
// what they measure, through its display. A child of the main window's document area.
class frmtool2 : public QWidget, public ToolsPanelDisplay
{
    Q_OBJECT
public:
    explicit frmtool2(Measurements &measurements, QWidget *parent = nullptr);

    // Puts the panel (its window in the document area) at its load-time size and place.
    void Form_Load();

    void Check1_Click();

    void showPingHost(const QString &host, int selectedLength) override;
    void showPingFailure(const QString &reason) override;
    void showRemoteAddress(const QString &address) override;
    void showPingTime(const QString &milliseconds) override;
    void showLoadTime(const QString &milliseconds) override;
    void showSlowLoad() override;
    void showLocalAddress(const QString &address) override;

    // Declared, and so made, in tab order; later siblings lie in front of earlier ones,
    // which puts the switch over the right end of the "Link Ping" frame.
    QGroupBox *const Frame1;
    QLabel *const Label2;
    QLineEdit *const Text1;
    QCheckBox *const Check1;
    QGroupBox *const Frame2;
    QLabel *const lblLoad;
    QGroupBox *const Frame3;
    QLabel *const Label3;
    QGroupBox *const Frame4;
    QLabel *const Label1;

private:
    Measurements &m_measurements;
};
