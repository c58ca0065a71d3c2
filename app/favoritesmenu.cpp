#include "app/favoritesmenu.h"

#include "system/platform.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QStyle>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString Title = u"Favorites"_s;
// The widest a name shows in a menu; longer ones lose their middle.
constexpr int NamePixels = 400;
// The most entries one menu shows; the rest go under "More" at its foot, made as it
// opens. A menu of thousands takes a third of a second to show.
constexpr int EntriesShown = 200;

} // namespace

FavoritesMenu::FavoritesMenu(QMenu *menu, const QString &folder, Dialogs &dialogs, QWidget *window,
                             std::function<void(const QString &)> open)
    : m_store(folder)
    , m_menu(menu)
    , m_dialogs(dialogs)
    , m_window(window)
    , m_open(std::move(open))
    , m_folderPicture(QApplication::style()->standardIcon(QStyle::SP_DirIcon))
{
    m_menu->setToolTipsVisible(true);
    connect(m_menu, &QMenu::aboutToShow, this, &FavoritesMenu::refreshTop);
    const auto stale = [this] { m_stale = true; };
    FavoritesModel &model = m_store.model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&model, signal, this, stale);
    connect(&model, &QAbstractItemModel::dataChanged, this, stale);
    connect(&model, &QAbstractItemModel::modelReset, this, stale);
    connect(&m_store, &FavoritesStore::writeFailed, this, [this](const QString &why) {
        // Once a run: the next change tries again, and says nothing new.
        if (!std::exchange(m_writeFailureTold, true))
            say(u"Favorites could not be saved in %1 (%2). They are kept as they are here, and saved with "
                "the next change that can be."_s.arg(m_store.path(), why));
    });
    // Once the window is up: a file set aside is never a silent loss.
    if (const QString notice = m_store.notice(); !notice.isEmpty())
        QTimer::singleShot(0, this, [this, notice] { say(notice); });
}

void FavoritesMenu::say(const QString &text)
{
    m_dialogs.message(m_window, Title, text);
}

void FavoritesMenu::refreshTop()
{
    if (!std::exchange(m_stale, false))
        return;
    // Submenus go with their actions; none of them is open while this one is opening.
    for (QAction *entry : std::as_const(m_entries)) {
        m_menu->removeAction(entry);
        if (QMenu *sub = entry->menu())
            delete sub;
        else
            delete entry;
    }
    const QList<QAction *> before = m_menu->actions();
    fill(m_menu, {});
    m_entries = m_menu->actions().mid(before.size());
}

void FavoritesMenu::fill(QMenu *menu, const QModelIndex &folder, int first)
{
    const FavoritesModel &model = m_store.model();
    const int rows = model.rowCount(folder);
    if (rows == 0) {
        menu->addAction(u"(Empty)"_s)->setEnabled(false);
        return;
    }
    const QFontMetrics metrics = menu->fontMetrics();
    const int end = std::min(rows, first + EntriesShown);
    for (int row = first; row < end; ++row) {
        const QModelIndex entry = model.index(row, FavoritesModel::NameColumn, folder);
        // Shown as it is: a '&' marks no key.
        const QString caption = metrics.elidedText(entry.data().toString(), Qt::ElideMiddle, NamePixels)
                                    .replace(u'&', u"&&"_s);
        if (entry.data(FavoritesModel::FolderRole).toBool()) {
            addSubmenu(menu, caption, entry, 0);
            continue;
        }
        const QString address = entry.data(Qt::ToolTipRole).toString();
        QAction *a = menu->addAction(caption);
        a->setToolTip(address);
        connect(a, &QAction::triggered, this, [this, address] { m_open(address); });
    }
    if (end < rows)
        addSubmenu(menu, u"More (%1)"_s.arg(rows - end), folder, end);
}

void FavoritesMenu::addSubmenu(QMenu *menu, const QString &caption, const QModelIndex &folder, int first)
{
    auto *sub = new QMenu(caption, menu);
    sub->setIcon(m_folderPicture);
    sub->setToolTipsVisible(true);
    const bool top = !folder.isValid();
    connect(sub, &QMenu::aboutToShow, this, [this, sub, first, top, at = QPersistentModelIndex(folder)] {
        // Made again with the top's entries after a change; a folder gone meanwhile
        // shows nothing.
        if (sub->isEmpty() && (top || at.isValid()))
            fill(sub, at, first);
    });
    menu->addMenu(sub);
}

void FavoritesMenu::addPage(const QString &title, const QString &address)
{
    const QString heading = u"Add to Favorites"_s;
    if (const QString why = m_store.readOnlyReason(); !why.isEmpty()) {
        m_dialogs.message(m_window, heading, u"Favorites cannot be changed now: %1."_s.arg(why));
        return;
    }
    if (!bookmarks::keptAddress(address)) {
        m_dialogs.message(m_window, heading,
                          u"This page cannot be a favorite: only http, https, file and ftp addresses are kept."_s);
        return;
    }
    FavoritesModel &model = m_store.model();
    const QList<FavoritesModel::Place> places = model.places();
    QStringList shown;
    for (const FavoritesModel::Place &place : places)
        shown << QString(place.depth * 4, u' ') + place.name;
    QString name = bookmarks::plainName(title);
    if (name.isEmpty())
        name = bookmarks::plainName(address);
    int place = 0;
    if (!m_dialogs.nameAndPlace(m_window, heading, &name, shown, &place))
        return;
    const QModelIndex folder = place > 0 && place < places.size() ? QModelIndex(places[place].folder) : QModelIndex();
    if (!model.addFavorite(folder, name, address).isValid())
        m_dialogs.message(m_window, heading,
                          u"The favorite was not added: it needs a name, and favorites hold at most %1 entries."_s.arg(
                              bookmarks::MaxEntries));
}
