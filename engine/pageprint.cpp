#include "engine/pageprint.h"

#include <QPrinter>
#include <QWebEnginePage>
#include <QWebEngineView>

PagePrint::PagePrint(QWebEngineView *view, QObject *parent)
    : QObject(parent)
    , m_view(view)
{
    connect(m_view, &QWebEngineView::printFinished, this, &PagePrint::end);
    connect(m_view->page(), &QWebEnginePage::pdfPrintingFinished, this,
            [this](const QString &, bool success) { end(success); });
}

bool PagePrint::start(QPrinter *printer)
{
    if (!printer || m_printing)
        return false;
    m_printing = true;
    // A printer that writes a PDF file gets the engine's own PDF, its text still text,
    // laid out on the sheets chosen in the dialog.
    if (printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty()) {
        m_view->page()->printToPdf(printer->outputFileName(), printer->pageLayout(), printer->pageRanges());
        return true;
    }
    // The engine makes a PDF of the page, then a thread of the view draws its pages
    // on the printer as pictures and reports the end.
    m_view->print(printer);
    return true;
}

void PagePrint::end(bool success)
{
    m_printing = false;
    Q_EMIT finished(success);
}
