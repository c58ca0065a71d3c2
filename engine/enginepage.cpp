#include "engine/enginepage.h"

#include "engine/enginedialogs.h"
#include "engine/pagedialoggate.h"
#include "system/hostdisplay.h"

#include <QAuthenticator>
#include <QDesktopServices>
#include <QHash>
#include <QWebEngineCertificateError>
#include <QWebEngineProfile>
#include <QWebEngineUrlScheme>

// A scheme the engine does not load itself: with the policy "from user interaction" a
// script's navigation to it just stops; after a click, once its load has started, the
// engine asks acceptNavigationRequest (the only time it asks after the start) and on
// true hands the address to QDesktopServices::openUrl, that is to xdg-open. So that
// call is the question to the user. A load the program asks for (a typed address) the
// engine drops without asking: offerToOtherProgram asks instead.

namespace {

QString featureName(QWebEnginePage::Feature feature)
{
    switch (feature) {
    case QWebEnginePage::Notifications: return QStringLiteral("notifications");
    case QWebEnginePage::Geolocation: return QStringLiteral("your location");
    case QWebEnginePage::MediaAudioCapture: return QStringLiteral("your microphone");
    case QWebEnginePage::MediaVideoCapture: return QStringLiteral("your camera");
    case QWebEnginePage::MediaAudioVideoCapture:
        return QStringLiteral("your camera and microphone");
    case QWebEnginePage::MouseLock: return QStringLiteral("control of the mouse pointer");
    case QWebEnginePage::DesktopVideoCapture: return QStringLiteral("a recording of your screen");
    case QWebEnginePage::DesktopAudioVideoCapture:
        return QStringLiteral("a recording of your screen and its sound");
    }
    return QStringLiteral("a feature of the browser");
}

// The user's answers to permission requests, per origin and feature, for the
// program's run: a site asks once, whichever window it is in.
QHash<QString, bool> &permissionAnswers()
{
    static QHash<QString, bool> answers;
    return answers;
}

QString siteName(const QUrl &url)
{
    return url.host().isEmpty() ? url.toString() : hostdisplay::shown(url.host(QUrl::EncodeUnicode));
}

// Whether the engine loads addresses of url's scheme itself; any other goes to
// another program.
bool loadedByEngine(const QUrl &url, const QWebEngineProfile *profile)
{
    static const QStringList own = {
        QStringLiteral("http"),  QStringLiteral("https"),        QStringLiteral("file"),
        QStringLiteral("data"),  QStringLiteral("blob"),         QStringLiteral("filesystem"),
        QStringLiteral("about"), QStringLiteral("qrc"),          QStringLiteral("chrome"),
        QStringLiteral("chrome-error"), QStringLiteral("devtools"), QStringLiteral("view-source")};
    const QString scheme = url.scheme().toLower();
    return own.contains(scheme) || profile->urlSchemeHandler(scheme.toLatin1())
           || !QWebEngineUrlScheme::schemeByName(scheme.toLatin1()).name().isEmpty();
}

} // namespace

EnginePage::EnginePage(QWebEngineProfile *profile, EngineDialogs *dialogs, PageDialogGate *gate, QObject *parent)
    : QWebEnginePage(profile ? profile : QWebEngineProfile::defaultProfile(), parent)
    , m_dialogs(dialogs)
    , m_gate(gate)
{
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            &EnginePage::onPermissionRequested);
    connect(this, &QWebEnginePage::certificateError, this, &EnginePage::onCertificateError);
    connect(this, &QWebEnginePage::authenticationRequired, this,
            [this](const QUrl &url, QAuthenticator *auth) { signIn(siteName(url), auth); });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl &, QAuthenticator *auth, const QString &proxyHost) {
                signIn(proxyHost, auth);
            });
}

template<typename Question>
bool EnginePage::ask(Question &&question)
{
    bool answer = false;
    if (m_dialogs)
        m_gate->ask([&](PageDialog &dialog) { answer = question(dialog); });
    return answer;
}

void EnginePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                          int lineNumber, const QString &sourceId)
{
    // The engine says so only on the page's console, in its own words and from no
    // script; a page's own messages name the script they come from.
    if (level == ErrorMessageLevel && sourceId.isEmpty()
        && message.startsWith(QLatin1String("Not allowed to navigate top frame to data URL")))
        Q_EMIT dataAddressBlocked();
    QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceId);
}

bool EnginePage::isOtherProgramsAddress(const QUrl &url) const
{
    return !loadedByEngine(url, profile());
}

void EnginePage::offerToOtherProgram(const QUrl &url)
{
    if (askToOpenElsewhere(url))
        QDesktopServices::openUrl(url);
}

bool EnginePage::askToOpenElsewhere(const QUrl &url)
{
    return ask([&](PageDialog &dialog) {
        return m_dialogs->openExternally(dialog, url.toString(QUrl::FullyEncoded));
    });
}

bool EnginePage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // The engine's last question before another program opens the address: the
    // user's, default no. It is no navigation of this page.
    if (isOtherProgramsAddress(url))
        return askToOpenElsewhere(url);
    if (isMainFrame) {
        if (type != NavigationTypeRedirect)
            m_gate->pageNavigated();
        Q_EMIT mainFrameNavigation(url, type);
    }
    return true;
}

void EnginePage::javaScriptAlert(const QUrl &origin, const QString &msg)
{
    ask([&](PageDialog &dialog) {
        m_dialogs->alert(dialog, siteName(origin), msg);
        return true;
    });
}

bool EnginePage::javaScriptConfirm(const QUrl &origin, const QString &msg)
{
    return ask([&](PageDialog &dialog) { return m_dialogs->confirm(dialog, siteName(origin), msg); });
}

bool EnginePage::javaScriptPrompt(const QUrl &origin, const QString &msg, const QString &defaultValue,
                                  QString *result)
{
    return ask([&](PageDialog &dialog) {
        return m_dialogs->prompt(dialog, siteName(origin), msg, defaultValue, result);
    });
}

void EnginePage::onPermissionRequested(const QUrl &origin, Feature feature)
{
    const QString key = origin.toString() + QLatin1Char('|') + QString::number(feature);
    auto &answers = permissionAnswers();
    auto it = answers.constFind(key);
    bool granted = false;
    if (it != answers.constEnd()) {
        granted = *it;
    } else {
        // Only the user's own answer is kept: not one given for a page whose
        // dialogs were stopped, nor a question its closing window cancelled.
        bool answered = false;
        granted = ask([&](PageDialog &dialog) {
            const bool yes = m_dialogs->grantPermission(dialog, siteName(origin), featureName(feature));
            answered = !dialog.isCancelled();
            return yes;
        });
        if (answered)
            answers.insert(key, granted);
    }
    setFeaturePermission(origin, feature, granted ? PermissionGrantedByUser : PermissionDeniedByUser);
}

void EnginePage::onCertificateError(const QWebEngineCertificateError &error)
{
    QWebEngineCertificateError answer = error;
    answer.defer();
    // Only an overridable error may be let through, and only by the user.
    if (answer.isOverridable() && ask([&](PageDialog &dialog) {
            return m_dialogs->acceptCertificateError(dialog, siteName(answer.url()), answer.description());
        }))
        answer.acceptCertificate();
    else
        answer.rejectCertificate();
}

void EnginePage::signIn(const QString &site, QAuthenticator *auth)
{
    QString user = auth->user();
    QString password;
    if (ask([&](PageDialog &dialog) {
            return m_dialogs->credentials(dialog, site, auth->realm(), &user, &password);
        })) {
        auth->setUser(user);
        auth->setPassword(password);
    } else {
        // A null authenticator cancels; the engine shows the site's refusal.
        *auth = QAuthenticator();
    }
}
