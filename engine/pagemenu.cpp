#include "engine/pagemenu.h"

#include "engine/webbrowser.h"

#include <QMenu>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace pagemenu {

namespace {

QAction *addEntry(QMenu *menu, const QString &text, bool enabled, std::function<void()> command)
{
    QAction *entry = menu->addAction(text);
    entry->setEnabled(enabled);
    QObject::connect(entry, &QAction::triggered, menu, std::move(command));
    return entry;
}

QAction *addPageAction(QMenu *menu, const QString &text, bool enabled, QWebEnginePage *page,
                       QWebEnginePage::WebAction action)
{
    // The page goes with its view, the menu's parent; the menu never outlives it.
    return addEntry(menu, text, enabled, [page, action] { page->triggerAction(action); });
}

void addLinkEntries(QMenu *menu, QWebEnginePage *page)
{
    addPageAction(menu, QStringLiteral("Open link in new &window"), true, page,
                  QWebEnginePage::OpenLinkInNewWindow);
    addPageAction(menu, QStringLiteral("Copy link &address"), true, page, QWebEnginePage::CopyLinkToClipboard);
    addPageAction(menu, QStringLiteral("Save lin&k as..."), true, page, QWebEnginePage::DownloadLinkToDisk);
    menu->addSeparator();
}

void addEditEntries(QMenu *menu, QWebEnginePage *page, QWebEngineContextMenuRequest::EditFlags flags)
{
    addPageAction(menu, QStringLiteral("Cu&t"), flags.testFlag(QWebEngineContextMenuRequest::CanCut), page,
                  QWebEnginePage::Cut);
    addPageAction(menu, QStringLiteral("&Copy"), flags.testFlag(QWebEngineContextMenuRequest::CanCopy), page,
                  QWebEnginePage::Copy);
    addPageAction(menu, QStringLiteral("&Paste"), flags.testFlag(QWebEngineContextMenuRequest::CanPaste), page,
                  QWebEnginePage::Paste);
    // Selecting the whole page is always possible, not only in a field.
    addPageAction(menu, QStringLiteral("Select a&ll"), true, page, QWebEnginePage::SelectAll);
    menu->addSeparator();
}

// The menu for the place request describes: the link entries only over a link, the
// edit entries enabled as the page allows them there. Owned by the view.
QMenu *make(QWebEngineView *view, WebBrowser *browser, const QWebEngineContextMenuRequest &request)
{
    QWebEnginePage *page = view->page();
    auto *menu = new QMenu(view);
    menu->setObjectName(QStringLiteral("pageMenu"));
    const QWebEngineHistory *history = page->history();
    addEntry(menu, QStringLiteral("&Back"), history->canGoBack(), [browser] { browser->GoBack(); });
    addEntry(menu, QStringLiteral("&Forward"), history->canGoForward(), [browser] { browser->GoForward(); });
    addEntry(menu, QStringLiteral("&Reload"), true, [browser] { browser->Refresh(); });
    menu->addSeparator();
    if (request.linkUrl().isValid())
        addLinkEntries(menu, page);
    addEditEntries(menu, page, request.editFlags());
    addPageAction(menu, QStringLiteral("Save pa&ge as..."), true, page, QWebEnginePage::SavePage);
    addEntry(menu, QStringLiteral("View page &source"), true, [browser] { browser->ViewPageSource(); });
    addEntry(menu, QStringLiteral("&Inspect"), true, [browser, page] {
        // The element needs the menu's request, which the engine keeps until the
        // next right click; the tools must exist first to be shown it.
        browser->ShowDevTools();
        page->triggerAction(QWebEnginePage::InspectElement);
    });
    return menu;
}

} // namespace

void install(QWebEngineView *view, WebBrowser *browser)
{
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, browser, [view, browser](const QPoint &at) {
        // Only the engine's own requests carry what was under the pointer.
        const QWebEngineContextMenuRequest *request = view->lastContextMenuRequest();
        if (!request)
            return;
        QMenu *menu = make(view, browser, *request);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(view->mapToGlobal(at));
    });
}

} // namespace pagemenu
