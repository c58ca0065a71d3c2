#include "windows/startchoice.h"

#include "shared/named.h"
#include "system/proxychoice.h"
#include "system/settingsstore.h"

#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const QString StartKey = QStringLiteral("StartWith");
const QString HomePageWord = QStringLiteral("homepage");
const QString LastWindowsWord = QStringLiteral("lastwindows");

} // namespace

StartChoice::StartChoice(SettingsStore &settings, const QString &application, QWidget *parent)
    : QGroupBox(QStringLiteral("When Halvane starts"), parent)
    , optStartHomePage(named(new QRadioButton(QStringLiteral("Show the hom&e page")), "optStartHomePage"))
    , optStartLastWindows(
          named(new QRadioButton(QStringLiteral("&Reopen the windows from last time")), "optStartLastWindows"))
    , m_settings(settings)
    , m_application(application)
{
    setObjectName(QStringLiteral("fraStart"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(optStartHomePage);
    layout->addWidget(optStartLastWindows);
    (read(settings, application) == Start::LastWindows ? optStartLastWindows : optStartHomePage)->setChecked(true);
}

StartChoice::Start StartChoice::read(const SettingsStore &settings, const QString &application)
{
    const QString word = settings.get(application, ProxyChoice::settingsSection(), StartKey, HomePageWord);
    return word.trimmed() == LastWindowsWord ? Start::LastWindows : Start::HomePage;
}

void StartChoice::save()
{
    m_settings.save(m_application, ProxyChoice::settingsSection(), StartKey,
                    optStartLastWindows->isChecked() ? LastWindowsWord : HomePageWord);
}
