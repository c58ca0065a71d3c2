#include "app/sessionwindows.h"

#include "browser/addresslist.h"
#include "browser/frmBrowser.h"
#include "engine/browsingdata.h"
#include "engine/webbrowser.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>

using sessionfile::Window;

SessionWindows::SessionWindows(QMdiArea &area, const QString &path, Opener open)
    : m_area(area)
    , m_open(std::move(open))
    , m_keeper(path, [this] { return snapshot(); })
{
    connect(&m_area, &QMdiArea::subWindowActivated, &m_keeper, &SessionKeeper::changed);
}

QString SessionWindows::pathFor(const BrowsingData *data)
{
    if (!data || !data->kept() || data->dataFolder().isEmpty())
        return {};
    return QDir(data->dataFolder()).filePath(sessionfile::fileName());
}

QString SessionWindows::readLast()
{
    if (!m_keeper.keeping())
        return {};
    sessionfile::Loaded loaded = sessionfile::load(m_keeper.path());
    m_last = loaded.session;
    return loaded.notice;
}

bool SessionWindows::reopenLast()
{
    if (!m_last || m_last->windows.isEmpty())
        return false;
    m_reopenedActive = nullptr;
    for (qsizetype i = 0; i < m_last->windows.size(); ++i) {
        const Window &window = m_last->windows.at(i);
        frmBrowser *doc = m_open(window.address);
        if (!doc)
            break;
        QMdiSubWindow *sub = doc->subWindow();
        // Made after a maximized window, the area has maximized it too.
        sub->showNormal();
        sub->setGeometry(window.place);
        if (window.state == Window::State::Minimized)
            sub->showMinimized();
        else if (window.state == Window::State::Maximized)
            sub->showMaximized();
        if (i == m_last->active)
            m_reopenedActive = doc;
    }
    return true;
}

void SessionWindows::activateReopened()
{
    if (m_reopenedActive)
        m_area.setActiveSubWindow(m_reopenedActive->subWindow());
}

void SessionWindows::offerLast(QStatusBar &bar)
{
    if (!m_last || m_last->endedCleanly || m_last->windows.isEmpty())
        return;
    auto *offer = new QPushButton(QStringLiteral("Reopen the windows from last time"), &bar);
    offer->setObjectName(QStringLiteral("cmdReopenWindows"));
    // A button that looks like one, in a bar of sunken texts.
    offer->setIcon(offer->style()->standardIcon(QStyle::SP_BrowserReload));
    const qsizetype count = m_last->windows.size();
    offer->setToolTip(QStringLiteral("Halvane did not close properly last time: a click reopens its %1.")
                          .arg(count == 1 ? QStringLiteral("window") : QStringLiteral("%1 windows").arg(count)));
    bar.insertPermanentWidget(1, offer);
    connect(offer, &QPushButton::clicked, this, [this, offer] {
        offer->hide();
        offer->deleteLater();
        reopenLast();
        activateReopened();
    });
}

void SessionWindows::keep(frmBrowser *doc)
{
    QMdiSubWindow *sub = doc->subWindow();
    m_windows << doc;
    if (!(sub->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        m_places.insert(sub, sub->geometry());
    sub->installEventFilter(this);
    connect(sub, &QObject::destroyed, this, [this, sub] {
        m_places.remove(sub);
        m_windows.removeIf([](const QPointer<frmBrowser> &kept) { return kept.isNull(); });
        m_keeper.changed();
    });
    connect(doc->brwWebBrowser, &WebBrowser::NavigateComplete2, &m_keeper, &SessionKeeper::changed);
    m_keeper.changed();
}

bool SessionWindows::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        if (auto *sub = qobject_cast<QMdiSubWindow *>(watched);
            sub && !(sub->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
            m_places.insert(sub, sub->geometry());
        m_keeper.changed();
        break;
    case QEvent::WindowStateChange:
    case QEvent::Show:
    case QEvent::Hide:
        m_keeper.changed();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

sessionfile::Session SessionWindows::snapshot() const
{
    sessionfile::Session session;
    const QList<QMdiSubWindow *> activated = m_area.subWindowList(QMdiArea::ActivationHistoryOrder);
    qsizetype latest = -1;
    for (const QPointer<frmBrowser> &doc : m_windows) {
        QMdiSubWindow *sub = doc ? doc->subWindow() : nullptr;
        // A window whose page still has questions open has left the screen, closing.
        if (!sub || sub->isHidden())
            continue;
        Window window;
        const QString location = doc->brwWebBrowser->LocationURL();
        // Not yet committed: the address it was opened on, which its box shows.
        window.address = AddressList::withoutUserInfo(location.isEmpty() ? doc->cboAddress->currentText() : location);
        window.place = m_places.value(sub, QRect(QPoint(0, 0), sub->sizeHint()));
        window.state = sub->isMinimized()   ? Window::State::Minimized
                       : sub->isMaximized() ? Window::State::Maximized
                                            : Window::State::Normal;
        if (const qsizetype order = activated.indexOf(sub); order > latest) {
            latest = order;
            session.active = int(session.windows.size());
        }
        session.windows << window;
    }
    return session;
}
