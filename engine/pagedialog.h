#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

// One question a page puts to the user (a script dialog, a sign-in, a download, a
// certificate or permission question), as the dialog that asks it sees it. It holds
// only its own page while it is open, offers to stop the page's dialogs once the page
// has asked before, and ends as cancelled when the page cancels it: its window closes,
// or the user sends the page elsewhere.
class PageDialog : public QObject
{
    Q_OBJECT
public:
    PageDialog(QWidget *page, bool offerStop)
        : m_page(page)
        , m_offerStop(offerStop)
    {
    }

    // The page's own widget: the one part of the program the question holds.
    QWidget *page() const { return m_page; }
    // Whether the dialog carries "Don't let this page show more dialogs".
    bool offerStop() const { return m_offerStop; }

    // The user ticked "Don't let this page show more dialogs".
    bool stopAsked() const { return m_stopAsked; }
    void setStopAsked(bool asked) { m_stopAsked = asked; }

    bool isCancelled() const { return m_cancelled; }
    void cancel()
    {
        if (m_cancelled)
            return;
        m_cancelled = true;
        Q_EMIT cancelled();
    }

    static QString stopText() { return QStringLiteral("Don't let this page show more dialogs"); }

Q_SIGNALS:
    void cancelled();

private:
    QPointer<QWidget> m_page;
    bool m_offerStop = false;
    bool m_stopAsked = false;
    bool m_cancelled = false;
};
