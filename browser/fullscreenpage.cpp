#include "browser/fullscreenpage.h"

#include "engine/webbrowser.h"
#include "system/windowcaption.h"

#include <QCloseEvent>
#include <QShortcut>
#include <QVBoxLayout>

FullScreenPage::FullScreenPage(WebBrowser *browser, QWidget *owner)
    : QWidget(owner, Qt::Window)
    , m_browser(browser)
    , m_place(browser->geometry())
{
    setObjectName(QStringLiteral("fullScreenPage"));
    setWindowTitle(windowcaption::literal(browser->LocationName()));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    // Whatever the page does with keys, these two end its full screen.
    for (const QKeySequence &leave : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_F11)}) {
        auto *key = new QShortcut(leave, this);
        connect(key, &QShortcut::activated, browser, &WebBrowser::ExitFullScreen);
    }
    showFullScreen();
    browser->show();
    browser->setFocus(Qt::OtherFocusReason);
}

void FullScreenPage::giveBack()
{
    if (!m_browser)
        return;
    layout()->removeWidget(m_browser);
    m_browser->setParent(parentWidget());
    m_browser->setGeometry(m_place);
    m_browser->show();
    m_browser->setFocus(Qt::OtherFocusReason);
    m_browser = nullptr;
}

void FullScreenPage::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (m_browser)
        m_browser->ExitFullScreen();
}
