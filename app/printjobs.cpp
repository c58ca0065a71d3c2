#include "app/printjobs.h"

#include "engine/webbrowser.h"

#include <QPrinter>

PrintJobs::PrintJobs() = default;

PrintJobs::~PrintJobs() = default;

void PrintJobs::print(WebBrowser *browser, std::unique_ptr<QPrinter> printer)
{
    if (m_printing.count(browser) || !browser->PrintPage(printer.get()))
        return;
    m_printing[browser] = std::move(printer);
    connect(browser, &WebBrowser::PrintFinished, this, [this, browser] { printFinished(browser); },
            Qt::SingleShotConnection);
    connect(browser, &QObject::destroyed, this, [this, browser] { browserGone(browser); });
}

void PrintJobs::printFinished(WebBrowser *browser)
{
    m_printing.erase(browser);
}

void PrintJobs::browserGone(WebBrowser *browser)
{
    // No end will be reported: the printer is kept, as the engine may still be drawing.
    auto it = m_printing.find(browser);
    if (it == m_printing.end())
        return;
    m_orphanedPrinters.push_back(std::move(it->second));
    m_printing.erase(it);
}
