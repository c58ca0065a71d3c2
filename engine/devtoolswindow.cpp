#include "engine/devtoolswindow.h"

#include "system/hostdisplay.h"
#include "system/windowcaption.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>

DevToolsWindow::DevToolsWindow(QWebEnginePage *inspected, QWidget *owner)
    : QWebEngineView(owner)
    , m_inspected(inspected)
{
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("devTools"));
    resize(900, 600);
    // In the inspected page's profile, so that the tools keep to its (possibly
    // off-the-record) storage.
    setPage(new QWebEnginePage(inspected->profile(), this));
    inspected->setDevToolsPage(page());
    auto retitle = [this] {
        setWindowTitle(windowcaption::literal(QStringLiteral("Developer tools - %1").arg(hostdisplay::addressText(
            m_inspected->url(), QUrl::PrettyDecoded | QUrl::RemovePassword))));
    };
    connect(inspected, &QWebEnginePage::urlChanged, this, retitle);
    retitle();
}

DevToolsWindow::~DevToolsWindow()
{
    // The inspected page must not keep a tools page that is going.
    if (m_inspected)
        m_inspected->setDevToolsPage(nullptr);
}

void DevToolsWindow::bringUp()
{
    show();
    raise();
    activateWindow();
}
