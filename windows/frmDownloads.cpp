#include "windows/frmDownloads.h"

#include "shared/named.h"
#include "system/downloadlist.h"
#include "system/platform.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

using State = DownloadRecord::State;

frmDownloads::frmDownloads(DownloadList &list, ProgramLauncher &launcher, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , lstDownloads(named(new QTreeView, "lstDownloads"))
    , cmdCancel(named(new QPushButton(QStringLiteral("&Cancel")), "cmdCancel"))
    , cmdOpen(named(new QPushButton(QStringLiteral("&Open")), "cmdOpen"))
    , cmdShowInFolder(named(new QPushButton(QStringLiteral("Show in &folder")), "cmdShowInFolder"))
    , cmdRetry(named(new QPushButton(QStringLiteral("&Retry")), "cmdRetry"))
    , cmdRemove(named(new QPushButton(QStringLiteral("Re&move")), "cmdRemove"))
    , lblMessage(named(new QLabel, "lblMessage"))
    , m_list(list)
    , m_launcher(launcher)
{
    setObjectName(QStringLiteral("frmDownloads"));
    setWindowTitle(QStringLiteral("Downloads"));
    buildList();
    // Names from servers and the file: never markup.
    lblMessage->setTextFormat(Qt::PlainText);
    lblMessage->setWordWrap(true);
    // A long path is cut at the window's edge rather than widening it.
    lblMessage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {cmdCancel, cmdOpen, cmdShowInFolder, cmdRetry, cmdRemove}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    connect(cmdCancel, &QPushButton::clicked, this, &frmDownloads::cmdCancel_Click);
    connect(cmdOpen, &QPushButton::clicked, this, &frmDownloads::cmdOpen_Click);
    connect(cmdShowInFolder, &QPushButton::clicked, this, &frmDownloads::cmdShowInFolder_Click);
    connect(cmdRetry, &QPushButton::clicked, this, &frmDownloads::cmdRetry_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmDownloads::cmdRemove_Click);
    auto *remove = new QShortcut(QKeySequence::Delete, lstDownloads, nullptr, nullptr, Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, [this] {
        if (cmdRemove->isEnabled())
            cmdRemove_Click();
    });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lstDownloads);
    layout->addWidget(lblMessage);
    layout->addLayout(buttons);
    resize(760, 320);
    lstDownloads->setCurrentIndex(m_list.index(0, DownloadList::Name));
    showButtons();
}

void frmDownloads::buildList()
{
    lstDownloads->setAccessibleName(QStringLiteral("Downloads"));
    lstDownloads->setModel(&m_list);
    lstDownloads->setRootIsDecorated(false);
    lstDownloads->setUniformRowHeights(true);
    lstDownloads->setAllColumnsShowFocus(true);
    lstDownloads->setSelectionMode(QAbstractItemView::SingleSelection);
    lstDownloads->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A long name keeps its start and its type.
    lstDownloads->setTextElideMode(Qt::ElideMiddle);
    QHeaderView *header = lstDownloads->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(DownloadList::Name, QHeaderView::Stretch);
    header->resizeSection(DownloadList::Size, 80);
    header->resizeSection(DownloadList::Status, 340);
    connect(lstDownloads->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        lblMessage->clear();
        showButtons();
    });
    connect(&m_list, &QAbstractItemModel::dataChanged, this, &frmDownloads::showButtons);
    connect(&m_list, &QAbstractItemModel::rowsRemoved, this, &frmDownloads::showButtons);
    // The first download to come is chosen, so its buttons are there at once.
    connect(&m_list, &QAbstractItemModel::rowsInserted, this, [this] {
        if (currentRow() < 0)
            lstDownloads->setCurrentIndex(m_list.index(0, DownloadList::Name));
    });
    // Enter or a double click on a finished one opens it.
    connect(lstDownloads, &QTreeView::activated, this, [this] {
        if (cmdOpen->isEnabled())
            cmdOpen_Click();
    });
}

int frmDownloads::currentRow() const
{
    const QModelIndex current = lstDownloads->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void frmDownloads::showButtons()
{
    const int row = currentRow();
    const bool chosen = row >= 0 && row < m_list.count();
    const State state = chosen ? m_list.at(row).state : State::Running;
    cmdCancel->setEnabled(chosen && state == State::Running);
    cmdOpen->setEnabled(chosen && state == State::Finished);
    cmdShowInFolder->setEnabled(chosen && state == State::Finished);
    cmdRetry->setEnabled(chosen && DownloadList::canRetry(m_list.at(row)));
    cmdRemove->setEnabled(chosen && state != State::Running);
}

void frmDownloads::cmdCancel_Click()
{
    m_list.cancel(currentRow());
}

void frmDownloads::cmdRetry_Click()
{
    m_list.retry(currentRow());
}

void frmDownloads::cmdRemove_Click()
{
    m_list.remove(currentRow());
}

void frmDownloads::cmdOpen_Click()
{
    const int row = currentRow();
    if (row < 0)
        return;
    openOnDesktop(m_list.at(row).path, m_list.data(m_list.index(row, DownloadList::Name)).toString());
}

void frmDownloads::cmdShowInFolder_Click()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QFileInfo file(m_list.at(row).path);
    openOnDesktop(file.absolutePath(), DownloadList::shown(file.absolutePath()));
}

void frmDownloads::openOnDesktop(const QString &path, const QString &name)
{
    lblMessage->clear();
    if (!QFileInfo::exists(path)) {
        lblMessage->setText(QStringLiteral("%1 is no longer there.").arg(name));
        return;
    }
    if (!m_launcher.openOnDesktop(QUrl::fromLocalFile(path)))
        lblMessage->setText(QStringLiteral("The desktop could not open %1.").arg(name));
}
