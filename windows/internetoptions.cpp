#include "windows/internetoptions.h"

#include "engine/browsingdata.h"
#include "shared/named.h"
#include "system/proxychoice.h"
#include "system/settingsstore.h"
#include "windows/startchoice.h"
#include "system/visithistory.h"

#include <QButtonGroup>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

const QString KeepKey = QStringLiteral("KeepBrowsingData");
const QString VisitDaysKey = QStringLiteral("KeepVisitsDays");
constexpr int MaxVisitDays = 36500;

} // namespace

InternetOptions::InternetOptions(SettingsStore &settings, const QString &application, BrowsingData &data,
                                 std::function<bool()> deleteHistory, QWidget *parent,
                                 std::function<bool()> deleteVisits)
    : QDialog(parent)
    , chkHistory(named(new QCheckBox(QStringLiteral("&Address history")), "chkHistory"))
    , chkCookies(named(new QCheckBox(QStringLiteral("C&ookies and site data")), "chkCookies"))
    , chkCache(named(new QCheckBox(QStringLiteral("Cached &files")), "chkCache"))
    , chkVisits(named(new QCheckBox(QStringLiteral("&Visited pages")), "chkVisits"))
    , cmdDelete(named(new QPushButton(QStringLiteral("&Delete")), "cmdDelete"))
    , lblDeleted(named(new QLabel, "lblDeleted"))
    , chkKeepData(named(new QCheckBox(QStringLiteral("&Keep cookies, site data and cached files between sessions")),
                        "chkKeepData"))
    , spnVisitDays(named(new QSpinBox, "spnVisitDays"))
    , optNoProxy(named(new QRadioButton(QStringLiteral("&No proxy")), "optNoProxy"))
    , optSystemProxy(named(new QRadioButton(QStringLiteral("The &system's proxy settings")), "optSystemProxy"))
    , optManualProxy(named(new QRadioButton(QStringLiteral("&Manual proxy:")), "optManualProxy"))
    , cboProxyType(named(new QComboBox, "cboProxyType"))
    , txtProxyHost(named(new QLineEdit, "txtProxyHost"))
    , spnProxyPort(named(new QSpinBox, "spnProxyPort"))
    , fraStart(new StartChoice(settings, application))
    , m_settings(settings)
    , m_application(application)
    , m_data(data)
    , m_deleteHistory(std::move(deleteHistory))
    , m_deleteVisits(std::move(deleteVisits))
    , m_proxyMode(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("InternetOptions"));
    setWindowTitle(QStringLiteral("Internet Options"));
    QGroupBox *deleting = deletingBox();
    QGroupBox *keeping = keepingBox();
    QGroupBox *proxy = proxyBox();
    showProxyChoice(ProxyChoice::read(settings, application));
    connect(m_proxyMode, &QButtonGroup::idToggled, this, &InternetOptions::showManualFields);
    connect(cmdDelete, &QPushButton::clicked, this, &InternetOptions::cmdDelete_Click);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(txtProxyHost, &QLineEdit::textChanged, this, &InternetOptions::showManualFields);
    connect(buttons, &QDialogButtonBox::accepted, this, &InternetOptions::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &InternetOptions::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(fraStart);
    layout->addWidget(deleting);
    layout->addWidget(keeping);
    layout->addWidget(proxy);
    layout->addWidget(buttons);
}

QGroupBox *InternetOptions::deletingBox()
{
    auto *deleting = new QGroupBox(QStringLiteral("Delete browsing data"));
    auto *deleteLayout = new QVBoxLayout(deleting);
    for (QCheckBox *box : {chkHistory, chkVisits, chkCookies, chkCache}) {
        box->setChecked(true);
        deleteLayout->addWidget(box);
    }
    chkVisits->setVisible(bool(m_deleteVisits));
    auto *deleteRow = new QHBoxLayout;
    deleteRow->addWidget(cmdDelete);
    lblDeleted->setTextFormat(Qt::PlainText);
    lblDeleted->setWordWrap(true);
    deleteRow->addWidget(lblDeleted, 1);
    deleteLayout->addLayout(deleteRow);
    return deleting;
}

QGroupBox *InternetOptions::keepingBox()
{
    auto *keeping = new QGroupBox(QStringLiteral("Keep browsing data between sessions"));
    auto *keepLayout = new QVBoxLayout(keeping);
    keepLayout->addWidget(chkKeepData);
    const QString takesEffect = QStringLiteral("A change takes effect when Halvane next starts.");
    auto *keepNote = new QLabel(m_data.kept() ? takesEffect : m_data.note() + u' ' + takesEffect);
    keepNote->setTextFormat(Qt::PlainText);
    keepNote->setWordWrap(true);
    keepLayout->addWidget(keepNote);
    chkKeepData->setChecked(keepBrowsingData(m_settings, m_application));
    spnVisitDays->setRange(1, MaxVisitDays);
    spnVisitDays->setValue(keepVisitsDays(m_settings, m_application));
    spnVisitDays->setSuffix(QStringLiteral(" days"));
    auto *daysRow = new QHBoxLayout;
    auto *daysLabel = new QLabel(QStringLiteral("Keep v&isited pages for"));
    daysLabel->setBuddy(spnVisitDays);
    daysRow->addWidget(daysLabel);
    daysRow->addWidget(spnVisitDays);
    daysRow->addStretch(1);
    keepLayout->addLayout(daysRow);
    return keeping;
}

QGroupBox *InternetOptions::proxyBox()
{
    auto *proxy = new QGroupBox(QStringLiteral("Proxy"));
    auto *proxyLayout = new QFormLayout(proxy);
    m_proxyMode->addButton(optNoProxy, int(ProxyChoice::Mode::None));
    m_proxyMode->addButton(optSystemProxy, int(ProxyChoice::Mode::System));
    m_proxyMode->addButton(optManualProxy, int(ProxyChoice::Mode::Manual));
    proxyLayout->addRow(optNoProxy);
    proxyLayout->addRow(optSystemProxy);
    proxyLayout->addRow(optManualProxy);
    cboProxyType->addItem(QStringLiteral("HTTP"), int(ProxyChoice::Kind::Http));
    cboProxyType->addItem(QStringLiteral("SOCKS"), int(ProxyChoice::Kind::Socks));
    cboProxyType->view()->setAccessibleName(QStringLiteral("Proxy types"));
    txtProxyHost->setMaxLength(253);
    spnProxyPort->setRange(1, 65535);
    proxyLayout->addRow(QStringLiteral("&Type:"), cboProxyType);
    proxyLayout->addRow(QStringLiteral("&Host:"), txtProxyHost);
    proxyLayout->addRow(QStringLiteral("&Port:"), spnProxyPort);
    return proxy;
}

void InternetOptions::showProxyChoice(const ProxyChoice &choice)
{
    m_proxyMode->button(int(choice.mode))->setChecked(true);
    cboProxyType->setCurrentIndex(cboProxyType->findData(int(choice.kind)));
    txtProxyHost->setText(choice.host);
    spnProxyPort->setValue(choice.port);
    showManualFields();
}

bool InternetOptions::keepBrowsingData(const SettingsStore &settings, const QString &application)
{
    // Anything but an explicit no keeps the data, as it was before there was a choice.
    return settings.get(application, ProxyChoice::settingsSection(), KeepKey, QStringLiteral("1")).trimmed() != QLatin1String("0");
}

int InternetOptions::keepVisitsDays(const SettingsStore &settings, const QString &application)
{
    bool number = false;
    const int days = settings.get(application, ProxyChoice::settingsSection(), VisitDaysKey, QString()).trimmed().toInt(&number);
    return number && days >= 1 && days <= MaxVisitDays ? days : VisitHistory::DefaultKeepDays;
}

void InternetOptions::cmdDelete_Click()
{
    QStringList done;
    QStringList failed;
    if (chkHistory->isChecked())
        (m_deleteHistory() ? done : failed) << QStringLiteral("address history");
    if (chkVisits->isChecked() && m_deleteVisits)
        (m_deleteVisits() ? done : failed) << QStringLiteral("visited pages");
    if (chkCookies->isChecked()) {
        m_data.deleteCookiesAndSiteData();
        done << QStringLiteral("cookies and site data");
    }
    if (chkCache->isChecked()) {
        m_data.deleteCachedFiles();
        done << QStringLiteral("cached files");
    }
    QString text = done.isEmpty() ? QStringLiteral("Nothing was chosen to delete.")
                                  : QStringLiteral("Deleted: %1.").arg(done.join(QStringLiteral(", ")));
    if (!failed.isEmpty())
        text = (done.isEmpty() ? QString() : text + u' ')
             + QStringLiteral("Could not delete: %1.").arg(failed.join(QStringLiteral(", ")));
    lblDeleted->setText(text);
}

void InternetOptions::accept()
{
    m_settings.save(m_application, ProxyChoice::settingsSection(), KeepKey, chkKeepData->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    fraStart->save();
    m_settings.save(m_application, ProxyChoice::settingsSection(), VisitDaysKey, QString::number(spnVisitDays->value()));
    ProxyChoice choice;
    choice.mode = ProxyChoice::Mode(m_proxyMode->checkedId());
    choice.kind = ProxyChoice::Kind(cboProxyType->currentData().toInt());
    choice.host = txtProxyHost->text().trimmed();
    choice.port = spnProxyPort->value();
    if (choice.mode == ProxyChoice::Mode::Manual && choice.host.isEmpty())
        return; // OK is off until there is one
    choice.save(m_settings, m_application);
    choice.apply();
    QDialog::accept();
}

void InternetOptions::showManualFields()
{
    const bool manual = optManualProxy->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(cboProxyType), static_cast<QWidget *>(txtProxyHost),
                       static_cast<QWidget *>(spnProxyPort)})
        w->setEnabled(manual);
    // A manual proxy without a host cannot be kept.
    if (m_ok)
        m_ok->setEnabled(!manual || !txtProxyHost->text().trimmed().isEmpty());
}
