#include "windows/frmAbout.h"

#include "system/twips.h"
#include "version.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString ipTip = QStringLiteral("This is a quick way to find out your IP address!");

QLabel *label(QWidget *parent, const char *name, const QString &caption)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(QLatin1String(name));
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QWidget *rule(QWidget *parent, const char *name, const QColor &colour)
{
    auto *w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
    return w;
}

void blackText(QLabel *l)
{
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    l->setPalette(p);
}

} // namespace

frmAbout::frmAbout(std::function<QString()> localAddress, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                         | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , Text1(new QLineEdit(this))
    , picIcon(new QLabel(this))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
    , Label3(label(this, "Label3",
                   QStringLiteral("Need to know your IP address for games, domain registration or other "
                                  "purposes?  Here it is!  No need to bother with WINIPCFG.")))
    , Label2(label(this, "Label2", QStringLiteral("Your IP address is:")))
    , Label1(label(this, "Label1",
                   QStringLiteral("This program is provided as is, without warranty of any kind; its "
                                  "makers accept no liability for any loss or damage from its use. "
                                  "Copying or distributing it without the makers' permission is not "
                                  "allowed.")))
    , lblDescription(label(this, "lblDescription", QStringLiteral("Copyright \u00a9 Marrowdyne. All rights reserved.")))
    , lblTitle(label(this, "lblTitle", QStringLiteral("Halvane ")))
    , Line1{rule(this, "Line1_0", QColor(255, 255, 255)), rule(this, "Line1_1", QColor(128, 128, 128))}
    , lblVersion(label(this, "lblVersion", QStringLiteral("Version 1.0")))
    , m_localAddress(std::move(localAddress))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Halvane"));
    if (owner)
        setWindowIcon(owner->windowIcon());
    setFont(twips::designFont());
    setFixedSize(twips::toPixels(5865), twips::toPixels(4935));

    placeAddressAndButton();
    placeNotices();

    setTabOrder(cmdOK, Text1);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    Form_Load();
}

void frmAbout::placeAddressAndButton()
{
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setToolTip(ipTip);
    // The address is there to be read and copied, not edited.
    Text1->setReadOnly(true);
    twips::place(Text1, 1680, 4440, 2295, 285);

    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(QPixmap(QStringLiteral(":/emblem.png")));
    picIcon->setFrameShape(QFrame::Box);
    picIcon->setLineWidth(1);
    picIcon->setFocusPolicy(Qt::NoFocus);
    // Sized to its picture plus its border.
    picIcon->setGeometry(twips::toPixels(240), twips::toPixels(240), 16 + 2, 16 + 2);

    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    twips::place(cmdOK, 2160, 2520, 1467, 345);

    twips::place(Label3, 360, 3600, 5175, 495);
    Label2->setToolTip(ipTip);
    // The label names the address field for a screen reader.
    Label2->setBuddy(Text1);
    twips::place(Label2, 2160, 4200, 1455, 255);
}

void frmAbout::placeNotices()
{
    twips::place(Label1, 720, 1560, 4815, 855);
    lblDescription->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    blackText(lblDescription);
    twips::place(lblDescription, 1050, 1125, 4095, 210);

    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    titleFont.setPointSizeF(20.25);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    blackText(lblTitle);
    twips::place(lblTitle, 1050, 240, 4092, 480);

    // Grey from (225, 2430), white one pixel lower and two wide, both to x 5657.
    Line1[1]->setGeometry(twips::toPixels(225), twips::toPixels(2430),
                          twips::toPixels(5657) - twips::toPixels(225), 1);
    Line1[0]->setGeometry(twips::toPixels(240), twips::toPixels(2445),
                          twips::toPixels(5657) - twips::toPixels(240), 2);

    lblVersion->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    twips::place(lblVersion, 1050, 780, 4092, 225);
}

QString frmAbout::versionLine(int major, int minor, int revision)
{
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

void frmAbout::Form_Load()
{
    lblVersion->setText(versionLine(version::major, version::minor, version::revision));
    lblTitle->setText(QStringLiteral("Halvane"));
    Text1->setText(m_localAddress());
}

void frmAbout::cmdOK_Click()
{
    accept();
}
