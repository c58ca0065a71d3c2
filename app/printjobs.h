#pragma once

#include <QObject>
#include <map>
#include <memory>
#include <vector>

class QPrinter;
class WebBrowser;

// The printers of the pages being printed. Each stays alive until the engine tells that
// its page has been printed; one whose window closed mid-print (no end is told then, and
// the engine may still be drawing on it) until this goes, with the main window.
class PrintJobs : public QObject
{
public:
    PrintJobs();
    ~PrintJobs() override;

    // Prints the browser's page on the printer and keeps the printer. Nothing is printed,
    // and the printer goes, while that page is printing already or when it will not print.
    void print(WebBrowser *browser, std::unique_ptr<QPrinter> printer);

private:
    void printFinished(WebBrowser *browser);
    void browserGone(WebBrowser *browser);

    std::map<WebBrowser *, std::unique_ptr<QPrinter>> m_printing;
    std::vector<std::unique_ptr<QPrinter>> m_orphanedPrinters;
};
