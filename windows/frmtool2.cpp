#include "windows/frmtool2.h"

#include "shared/measurements.h"
#include "system/twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>

namespace {

QLabel *borderedField(QWidget *parent, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    // What the fields show comes from the network: never markup.
    l->setTextFormat(Qt::PlainText);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    return l;
}

QString perMs(const QString &milliseconds)
{
    return milliseconds + QStringLiteral("/ms");
}

QGroupBox *frame(QWidget *parent, const char *name, const QString &caption)
{
    auto *f = new QGroupBox(caption, parent);
    f->setObjectName(QLatin1String(name));
    return f;
}

} // namespace

frmtool2::frmtool2(Measurements &measurements, QWidget *parent)
    : QWidget(parent)
    , Frame1(frame(this, "Frame1", QStringLiteral("Link Ping")))
    , Label2(borderedField(Frame1, "Label2"))
    , Text1(new QLineEdit(Frame1))
    , Check1(new QCheckBox(QStringLiteral("Enable/Disable"), this))
    , Frame2(frame(this, "Frame2", QStringLiteral("Page Load Time")))
    , lblLoad(borderedField(Frame2, "lblLoad"))
    , Frame3(frame(this, "Frame3", QStringLiteral("Local IP")))
    , Label3(borderedField(Frame3, "Label3"))
    , Frame4(frame(this, "Frame4", QStringLiteral("Remote IP")))
    , Label1(borderedField(Frame4, "Label1"))
    , m_measurements(measurements)
{
    setObjectName(QStringLiteral("frmtool2"));
    setWindowTitle(QStringLiteral("HalvaneTools"));
    setFont(twips::designFont());
    resize(twips::toPixels(6090), twips::toPixels(1995));

    twips::place(Frame4, 4440, 720, 1455, 615);
    Frame4->setToolTip(QStringLiteral("Link Ping MUST be ENABLED for this option to work."));
    twips::place(Label1, 120, 240, 1215, 255);
    twips::place(Frame3, 2280, 720, 2055, 615);
    twips::place(Label3, 120, 240, 1695, 255);
    twips::place(Frame2, 120, 720, 2055, 615);
    twips::place(lblLoad, 120, 240, 1815, 255);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setToolTip(QStringLiteral("Enableing may increase your load times."));
    twips::place(Check1, 4440, 240, 1455, 255);
    twips::place(Frame1, 120, 0, 5895, 615);
    Text1->setObjectName(QStringLiteral("Text1"));
    twips::place(Text1, 2040, 240, 2175, 285);
    twips::place(Label2, 120, 240, 1815, 255);

    // A panel loaded while link ping is on shows the switch as it is, so its next
    // click turns link ping off rather than seeming to do nothing.
    Check1->setChecked(m_measurements.LinkPingEnabled);

    connect(Check1, &QCheckBox::clicked, this, &frmtool2::Check1_Click);
}

void frmtool2::Form_Load()
{
    // Placed within the main window's client area, whatever the user did before.
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->setGeometry(twips::rect(0, 8000, 6180, 1890));
}

void frmtool2::Check1_Click()
{
    // Decided on the switch, not on the box's new state; setChecked raises no click.
    if (m_measurements.LinkPingEnabled) {
        m_measurements.LinkPingEnabled = false;
        Text1->setText(QStringLiteral("DISABLED"));
        Text1->setEnabled(false);
        Check1->setChecked(false);
    } else {
        m_measurements.LinkPingEnabled = true;
        Text1->setText(QStringLiteral("Enabled..."));
        Text1->setEnabled(true);
        Check1->setChecked(true);
    }
}

void frmtool2::showPingHost(const QString &host, int selectedLength)
{
    Text1->setText(host);
    Text1->setSelection(0, selectedLength);
}

void frmtool2::showPingFailure(const QString &reason)
{
    Text1->setText(reason);
    Text1->setToolTip(reason);
}

void frmtool2::showRemoteAddress(const QString &address)
{
    Label1->setText(address);
    Label1->setToolTip(address);
}

void frmtool2::showPingTime(const QString &milliseconds)
{
    Label2->setText(perMs(milliseconds));
}

void frmtool2::showLoadTime(const QString &milliseconds)
{
    lblLoad->setText(perMs(milliseconds));
}

void frmtool2::showSlowLoad()
{
    lblLoad->setText(QStringLiteral("Long Friggin Time!"));
}

void frmtool2::showLocalAddress(const QString &address)
{
    Label3->setText(address);
}
