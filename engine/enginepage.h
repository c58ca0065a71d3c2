#pragma once

#include <QWebEnginePage>

class EngineDialogs;
class PageDialog;
class PageDialogGate;
class QAuthenticator;

// The page's policy: accepts every navigation the engine loads itself and tells about
// main-frame ones; lets another program open any other address only on the user's
// yes; answers the page's script dialogs, permission requests, certificate errors and
// sign-in requests through the host's dialogs, or refuses them without any. Each
// question goes through the page's gate, which the user can close on a page that
// keeps asking.
class EnginePage : public QWebEnginePage
{
    Q_OBJECT
public:
    // A null profile means the engine's default one.
    EnginePage(QWebEngineProfile *profile, EngineDialogs *dialogs, PageDialogGate *gate, QObject *parent);

    // Whether url is another program's to open, not the engine's to load.
    bool isOtherProgramsAddress(const QUrl &url) const;
    // The user's own address of another program's scheme (typed, or given on the
    // command line), which the engine would drop without a word: the question a clicked
    // link gets, and the desktop opens it only on yes.
    void offerToOtherProgram(const QUrl &url);

Q_SIGNALS:
    void mainFrameNavigation(const QUrl &url, QWebEnginePage::NavigationType type);
    // The engine refused to show a page's top-level data: address in this page.
    void dataAddressBlocked();

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceId) override;
    void javaScriptAlert(const QUrl &origin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &origin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &origin, const QString &msg, const QString &defaultValue,
                          QString *result) override;

private:
    // The answer to a question, or no (cancel) without dialogs or once the user stopped
    // this page's dialogs.
    template<typename Question>
    bool ask(Question &&question);

    bool askToOpenElsewhere(const QUrl &url);
    void onPermissionRequested(const QUrl &origin, Feature feature);
    void onCertificateError(const QWebEngineCertificateError &error);
    void signIn(const QString &site, QAuthenticator *auth);

    EngineDialogs *m_dialogs;
    PageDialogGate *m_gate;
};
