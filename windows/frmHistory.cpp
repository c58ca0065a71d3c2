#include "windows/frmHistory.h"

#include "shared/named.h"
#include "system/visithistory.h"
#include "windows/visitlist.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QAction *action(QWidget *owner, const char *name, const QString &caption, const QKeySequence &key = {})
{
    auto *a = new QAction(caption, owner);
    a->setObjectName(QLatin1String(name));
    a->setShortcut(key);
    // The list's keys while it has the focus; the search field has its own.
    a->setShortcutContext(Qt::WidgetShortcut);
    owner->addAction(a);
    return a;
}

bool askWithMessageBox(QWidget *parent, const QString &question)
{
    return QMessageBox::question(parent, QStringLiteral("History"), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
           == QMessageBox::Yes;
}

} // namespace

frmHistory::frmHistory(VisitHistory &history, QWidget *parent, Ask ask)
    : QWidget(parent, Qt::Window)
    , txtSearch(named(new QLineEdit, "txtSearch"))
    , tvwVisits(named(new QTreeView, "tvwVisits"))
    , lblStatus(named(new QLabel, "lblStatus"))
    , mnuOpen(action(tvwVisits, "mnuOpen", QStringLiteral("&Open"), QKeySequence(Qt::Key_Return)))
    , mnuOpenNewWindow(action(tvwVisits, "mnuOpenNewWindow", QStringLiteral("Open in &New Window"),
                              QKeySequence(Qt::SHIFT | Qt::Key_Return)))
    , mnuDeleteVisit(action(tvwVisits, "mnuDeleteVisit", QStringLiteral("&Delete Visit"), QKeySequence::Delete))
    , mnuDeleteDay(action(tvwVisits, "mnuDeleteDay", QStringLiteral("Delete the &Day's Visits...")))
    , mnuDeleteAll(action(tvwVisits, "mnuDeleteAll", QStringLiteral("Delete &All Visits...")))
    , m_history(history)
    , m_list(new VisitList(history, this))
    , m_ask(ask ? std::move(ask) : Ask(askWithMessageBox))
{
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("History"));
    auto *closeKey = new QAction(this);
    closeKey->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(closeKey);
    connect(closeKey, &QAction::triggered, this, &QWidget::close);
    buildControls();
    connectEvents();
    // Opened to be typed into.
    txtSearch->setFocus();
    m_list->reload();
    showStatus();
}

void frmHistory::buildControls()
{
    txtSearch->setPlaceholderText(QStringLiteral("Title or address"));
    txtSearch->setClearButtonEnabled(true);
    txtSearch->setMaxLength(1000);
    txtSearch->installEventFilter(this);
    auto *searchLabel = new QLabel(QStringLiteral("&Search:"));
    searchLabel->setBuddy(txtSearch);

    tvwVisits->setModel(m_list);
    tvwVisits->setRootIsDecorated(false);
    tvwVisits->setUniformRowHeights(true);
    tvwVisits->setAllColumnsShowFocus(true);
    tvwVisits->setSelectionMode(QAbstractItemView::SingleSelection);
    tvwVisits->setContextMenuPolicy(Qt::CustomContextMenu);
    tvwVisits->setAccessibleName(QStringLiteral("Visits"));
    tvwVisits->header()->setStretchLastSection(true);
    tvwVisits->setColumnWidth(0, 80);
    tvwVisits->setColumnWidth(1, 280);
    lblStatus->setTextFormat(Qt::PlainText);

    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(txtSearch, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(searchRow);
    layout->addWidget(tvwVisits, 1);
    layout->addWidget(lblStatus);
    resize(720, 520);
}

void frmHistory::connectEvents()
{
    connect(txtSearch, &QLineEdit::textChanged, this, &frmHistory::txtSearch_Change);
    connect(tvwVisits, &QTreeView::doubleClicked, this, &frmHistory::tvwVisits_DblClick);
    // Queued: the range changes while the view lays its rows out, which must end first.
    connect(tvwVisits->verticalScrollBar(), &QScrollBar::valueChanged, this, &frmHistory::tvwVisits_Scroll,
            Qt::QueuedConnection);
    connect(tvwVisits->verticalScrollBar(), &QScrollBar::rangeChanged, this, &frmHistory::tvwVisits_Scroll,
            Qt::QueuedConnection);
    connect(tvwVisits, &QWidget::customContextMenuRequested, this, &frmHistory::tvwVisits_ContextMenu);
    connect(mnuOpen, &QAction::triggered, this, [this] { openCurrent(false); });
    connect(mnuOpenNewWindow, &QAction::triggered, this, [this] { openCurrent(true); });
    connect(mnuDeleteVisit, &QAction::triggered, this, &frmHistory::mnuDeleteVisit_Click);
    connect(mnuDeleteDay, &QAction::triggered, this, &frmHistory::mnuDeleteDay_Click);
    connect(mnuDeleteAll, &QAction::triggered, this, &frmHistory::mnuDeleteAll_Click);
    connect(m_list, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { spanDays(first, last); });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_list, signal, this, &frmHistory::showStatus);
    connect(m_list, &QAbstractItemModel::modelReset, this, &frmHistory::showStatus);
    connect(m_list, &VisitList::answered, this, &frmHistory::showStatus);
    connect(&m_history, &VisitHistory::added, this, &frmHistory::visitsAdded);
    // Deleted elsewhere (Internet Options): nothing deleted may stay on the screen.
    connect(&m_history, &VisitHistory::removed, this, [this] {
        if (!m_deleting)
            m_list->reload();
    });
}

void frmHistory::txtSearch_Change()
{
    m_list->setSearchText(txtSearch->text());
}

void frmHistory::spanDays(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        if (m_list->isDay(row))
            tvwVisits->setFirstColumnSpanned(row, {}, true);
    }
}

void frmHistory::tvwVisits_Scroll()
{
    const QScrollBar *bar = tvwVisits->verticalScrollBar();
    if (bar->value() >= bar->maximum() - bar->pageStep())
        m_list->readMore();
}

void frmHistory::visitsAdded()
{
    // Further down, the user is reading: the list stays as it is.
    if (tvwVisits->verticalScrollBar()->value() != 0)
        return;
    const std::optional<Visit> chosen = m_list->visitAt(tvwVisits->currentIndex().row());
    m_list->reload();
    for (int row = 0; chosen && row < m_list->rowCount(); ++row) {
        if (m_list->visitAt(row).value_or(Visit()).id == chosen->id)
            tvwVisits->setCurrentIndex(m_list->index(row, 0));
    }
}

int frmHistory::chosenRow() const
{
    const QModelIndex current = tvwVisits->currentIndex();
    if (current.isValid())
        return current.row();
    for (int row = 0; row < m_list->rowCount(); ++row) {
        if (!m_list->isDay(row))
            return row;
    }
    return -1;
}

void frmHistory::openCurrent(bool newWindow)
{
    if (const std::optional<Visit> visit = m_list->visitAt(chosenRow()))
        Q_EMIT openRequested(visit->address, newWindow);
}

void frmHistory::tvwVisits_DblClick(const QModelIndex &index)
{
    if (const std::optional<Visit> visit = m_list->visitAt(index.row()))
        Q_EMIT openRequested(visit->address, false);
}

void frmHistory::tvwVisits_ContextMenu(const QPoint &position)
{
    const QModelIndex index = tvwVisits->indexAt(position);
    if (index.isValid())
        tvwVisits->setCurrentIndex(index);
    const bool visit = index.isValid() && !m_list->isDay(index.row());
    mnuOpen->setEnabled(visit);
    mnuOpenNewWindow->setEnabled(visit);
    mnuDeleteVisit->setEnabled(visit);
    mnuDeleteDay->setEnabled(index.isValid());
    QMenu menu(this);
    menu.addActions({mnuOpen, mnuOpenNewWindow});
    menu.addSeparator();
    menu.addActions({mnuDeleteVisit, mnuDeleteDay});
    menu.addSeparator();
    menu.addAction(mnuDeleteAll);
    menu.exec(tvwVisits->viewport()->mapToGlobal(position));
    for (QAction *a : {mnuOpen, mnuOpenNewWindow, mnuDeleteVisit, mnuDeleteDay})
        a->setEnabled(true);
}

void frmHistory::mnuDeleteVisit_Click()
{
    const int row = tvwVisits->currentIndex().row();
    // Delete on a day's heading is the day's deletion.
    if (m_list->isDay(row)) {
        mnuDeleteDay_Click();
        return;
    }
    const std::optional<Visit> visit = m_list->visitAt(row);
    if (!visit)
        return;
    m_deleting = true;
    const bool done = m_history.removeVisit(visit->id);
    m_deleting = false;
    if (done)
        m_list->takeVisit(row);
    else
        lblStatus->setText(QStringLiteral("The visit could not be deleted."));
}

void frmHistory::mnuDeleteDay_Click()
{
    const QDate day = m_list->dayAt(tvwVisits->currentIndex().row());
    if (!day.isValid())
        return;
    const QString date = QLocale().toString(day, QLocale::LongFormat);
    if (!m_ask(this, QStringLiteral("Delete every visit of %1?").arg(date)))
        return;
    m_deleting = true;
    const bool done = m_history.removeDay(day);
    m_deleting = false;
    if (done)
        m_list->takeDay(day);
    else
        lblStatus->setText(QStringLiteral("The visits of %1 could not be deleted.").arg(date));
}

void frmHistory::mnuDeleteAll_Click()
{
    if (!m_ask(this, QStringLiteral("Delete every visited page from the history?")))
        return;
    m_deleting = true;
    const bool done = m_history.removeAll();
    m_deleting = false;
    m_list->reload();
    if (!done)
        lblStatus->setText(QStringLiteral("The visits could not be deleted."));
}

void frmHistory::showStatus()
{
    const int count = m_list->visitCount();
    const QString text = m_list->searchText();
    if (!m_history.kept())
        lblStatus->setText(QStringLiteral("Visited pages are not kept this session."));
    else if (count == 0 && !m_list->complete())
        lblStatus->setText(QStringLiteral("Searching..."));
    else if (count == 0)
        lblStatus->setText(text.isEmpty() ? QStringLiteral("No visited pages yet.")
                                          : QStringLiteral("No visited page matches \"%1\".").arg(text));
    else if (m_list->complete())
        lblStatus->setText(count == 1 ? QStringLiteral("1 visit") : QStringLiteral("%1 visits").arg(QLocale().toString(count)));
    else
        lblStatus->setText(QStringLiteral("%1 visits listed; more as you scroll down").arg(QLocale().toString(count)));
}

bool frmHistory::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != txtSearch || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        openCurrent(key->modifiers() & Qt::ShiftModifier);
        return true;
    }
    if (key->key() == Qt::Key_Down) {
        // Down to the list, at the visit Enter would open.
        tvwVisits->setCurrentIndex(m_list->index(chosenRow(), 0));
        tvwVisits->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
