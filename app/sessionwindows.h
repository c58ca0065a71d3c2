#pragma once

#include "app/sessionkeeper.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <functional>
#include <optional>

class BrowsingData;
class QMdiArea;
class QStatusBar;
class frmBrowser;

// The numbered document windows as a session: kept as they change (address, place and
// size in the document area, minimized or maximized, which was active), and the last
// session's windows opened again, at start-up or from the status bar's offer. The
// shared unnumbered window is never handed over, so it is not kept.
class SessionWindows : public QObject
{
    Q_OBJECT
public:
    // Opens a new numbered document window on an address, active; nullptr when none
    // can be made.
    using Opener = std::function<frmBrowser *(const QString &address)>;

    // The windows of area kept in path (empty: nothing kept), opened again with open.
    SessionWindows(QMdiArea &area, const QString &path, Opener open);

    // Where this profile's session is kept: in its data folder when the session keeps its
    // browsing data; empty off the record (another Halvane holds the profile, or the user
    // keeps nothing).
    static QString pathFor(const BrowsingData *data);

    // Reads what the last session left, before this one writes over it. Says why when its
    // file was damaged (it is set aside), for the status bar; empty otherwise.
    QString readLast();
    // Opens the last session's windows, in their order, each on its address and at its
    // place. False when it left none.
    bool reopenLast();
    // After reopenLast: activates the window that was active.
    void activateReopened();
    // After a session that did not end in order: a button in bar's permanent place that
    // reopens its windows once clicked, and goes. Nothing after an orderly end.
    void offerLast(QStatusBar &bar);

    // A numbered document window, kept from now on until it closes.
    void keep(frmBrowser *doc);
    sessionfile::Session snapshot() const;
    // The main window closes in order: the session as it stands, written now.
    void finish() { m_keeper.finish(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QMdiArea &m_area;
    const Opener m_open;
    std::optional<sessionfile::Session> m_last;
    QList<QPointer<frmBrowser>> m_windows;
    // Each kept window's place when last neither minimized nor maximized, by sub-window.
    QHash<const QObject *, QRect> m_places;
    QPointer<frmBrowser> m_reopenedActive;
    SessionKeeper m_keeper; // last: its writes end before the rest goes
};
