// Time from asking for the Favorites menu to it being on screen with its entries, with
// 10,000 favorites in folders of 100, each time after a change (so the menu is made
// again); then a folder's submenu, and, for comparison, 10,000 favorites at the top with
// no folders. Prints figures; never fails on time.
#include "app/favoritesmenu.h"
#include "benchfigures.h"
#include "support/testplatform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Runs = 9;
constexpr int Favorites = 10'000;
constexpr int PerFolder = 100;

QList<Bookmark> sampleTree(int perFolder)
{
    QList<Bookmark> top;
    QList<Bookmark> *into = &top;
    for (int i = 0; i < Favorites; ++i) {
        if (perFolder > 0 && i % perFolder == 0) {
            top.append({QStringLiteral("Folder %1").arg(i / perFolder), {}, {}, true, {}});
            into = &top.last().children;
        }
        into->append({QStringLiteral("Favorite page number %1 of a site").arg(i),
                      QStringLiteral("https://host%1.example.test/page/%2").arg(i).arg(i % 97), {}, false, {}});
    }
    return top;
}

// Milliseconds from asking for the menu to it shown with its entries.
double timeToShown(QMenu *menu, const QPoint &at)
{
    QElapsedTimer clock;
    clock.start();
    menu->popup(at);
    if (!QTest::qWaitForWindowExposed(menu))
        std::fprintf(stderr, "menu not shown\n");
    QCoreApplication::processEvents();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    menu->hide();
    QCoreApplication::processEvents();
    return ms;
}

// The menu with the tree under its own item, shown Runs times, each after a change.
QList<double> showTop(FavoritesMenu &favorites, QMenu &menu, const QList<Bookmark> &tree)
{
    QList<double> runs;
    for (int run = 0; run < Runs; ++run) {
        favorites.store().model().setTree(tree);
        runs << timeToShown(&menu, QPoint(10, 10));
    }
    return runs;
}

void figure(const char *name, double ms, const char *goal, bool met)
{
    std::printf("FIGURE\tFavorites menu, %s\t%.1f ms\t-\t-\t%s\t%s\n", name, ms, goal, *goal == '-' ? "-" : met ? "met" : "missed");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestPlatform env;
    QMenu menu;
    menu.addAction(QStringLiteral("&Add to Favorites..."));
    menu.addAction(QStringLiteral("&Organize Favorites..."));
    menu.addSeparator();
    FavoritesMenu favorites(&menu, env.dataFolder.path(), env.dialogs, nullptr, [](const QString &) {});

    std::printf("%-44s %10s %10s\n", "", "median ms", "max ms");
    const QList<double> top = showTop(favorites, menu, sampleTree(PerFolder));
    std::printf("%-44s %10.1f %10.1f\n", "10,000 in folders of 100: menu shown", benchfigures::median(top),
                *std::max_element(top.begin(), top.end()));

    // A folder's entries, made as it opens.
    QList<double> folder;
    for (int run = 0; run < Runs; ++run) {
        favorites.store().model().setTree(sampleTree(PerFolder));
        menu.popup(QPoint(10, 10));
        if (!QTest::qWaitForWindowExposed(&menu))
            return 1;
        QMenu *sub = menu.actions().at(3 + run)->menu();
        folder << timeToShown(sub, QPoint(300, 10));
        menu.hide();
    }
    std::printf("%-44s %10.1f %10.1f\n", "a folder of 100: submenu shown", benchfigures::median(folder),
                *std::max_element(folder.begin(), folder.end()));

    const QList<double> flat = showTop(favorites, menu, sampleTree(0));
    std::printf("%-44s %10.1f %10.1f\n", "10,000 at the top, no folders: menu shown", benchfigures::median(flat),
                *std::max_element(flat.begin(), flat.end()));

    figure("10,000 favorites in folders of 100: menu shown", benchfigures::median(top), "< 100 ms",
           benchfigures::median(top) < 100);
    figure("a folder of 100: submenu shown", benchfigures::median(folder), "-", true);
    figure("10,000 favorites at the top, no folders: menu shown", benchfigures::median(flat), "-", true);
    return 0;
}
