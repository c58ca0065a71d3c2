#pragma once

#include "engine/pagedialog.h"

#include <QList>
#include <QObject>

// The questions one page puts to the user. From its second question on, each offers to
// stop its dialogs; once the user took that, the page's questions are answered as
// cancelled without being shown until the page goes to another document. Open
// questions end as cancelled when the user sends the page elsewhere or closes it.
class PageDialogGate : public QObject
{
    Q_OBJECT
public:
    explicit PageDialogGate(QWidget *page)
        : QObject(page)
        , m_page(page)
    {
    }

    // Puts a question through ask(PageDialog &) unless the page's dialogs are stopped.
    // False, and ask not run, when they are: the caller answers as cancelled.
    template<typename Ask>
    bool ask(Ask &&question)
    {
        if (m_stopped || m_closing)
            return false;
        PageDialog dialog(m_page, m_asked > 0);
        ++m_asked;
        m_open.append(&dialog);
        question(dialog);
        m_open.removeOne(&dialog);
        if (dialog.stopAsked())
            m_stopped = true;
        if (m_open.isEmpty() && m_closing)
            // Queued: the engine's call that asked is still on the stack.
            QMetaObject::invokeMethod(this, &PageDialogGate::allClosed, Qt::QueuedConnection);
        return true;
    }

    bool isOpen() const { return !m_open.isEmpty(); }
    bool stopped() const { return m_stopped; }

    // The page went to another document: its dialogs may show again.
    void pageNavigated() { m_stopped = false; }
    // The user sent the page elsewhere: what it asked is moot, and it starts afresh.
    void userNavigated()
    {
        cancelOpen();
        m_asked = 0;
        m_stopped = false;
    }
    // The page's window is closing: open questions end as cancelled, new ones are
    // refused. True when some were open; allClosed follows once each has returned.
    bool close()
    {
        m_closing = true;
        if (m_open.isEmpty())
            return false;
        cancelOpen();
        return true;
    }

Q_SIGNALS:
    void allClosed();

private:
    void cancelOpen()
    {
        // A copy: a cancelled question leaves the list only once its call returns, but
        // nothing may change the list under the loop.
        const QList<PageDialog *> open = m_open;
        for (PageDialog *dialog : open)
            dialog->cancel();
    }

    QWidget *m_page;
    QList<PageDialog *> m_open;
    int m_asked = 0;
    bool m_stopped = false;
    bool m_closing = false;
};
