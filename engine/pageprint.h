#pragma once

#include <QObject>

class QPrinter;
class QWebEngineView;

// Printing the page a view shows, one print at a time: the view itself refuses a
// second print while one runs, without a word.
class PagePrint : public QObject
{
    Q_OBJECT
public:
    PagePrint(QWebEngineView *view, QObject *parent);

    // False, and no finished, without a printer or while a print runs.
    bool start(QPrinter *printer);

Q_SIGNALS:
    void finished(bool success);

private:
    void end(bool success);

    QWebEngineView *m_view;
    // From a started print until the view reports its end.
    bool m_printing = false;
};
