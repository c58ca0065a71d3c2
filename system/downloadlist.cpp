#include "system/downloadlist.h"

#include "system/downloadlistfile.h"

#include <QFileInfo>
#include <QLocale>

using State = DownloadRecord::State;

DownloadList::DownloadList(const QString &file, QObject *parent)
    : QAbstractTableModel(parent)
{
    if (file.isEmpty())
        return;
    m_file = std::make_unique<DownloadListFile>(file);
    DownloadListFile::Loaded loaded = m_file->load();
    m_notice = loaded.notice;
    if (!loaded.writable)
        m_file.reset();
    for (DownloadRecord &r : loaded.records) {
        if (m_entries.size() == MaxRecords)
            break;
        if (r.state == State::Running) {
            r.state = State::Failed;
            r.reason = QStringLiteral("Halvane ended before it finished");
        }
        Entry e;
        e.id = m_nextId++;
        e.record = r;
        m_entries.append(e);
    }
    // What could be read of a file set aside is kept in a whole one at once.
    if (!m_notice.isEmpty())
        scheduleSave();
}

DownloadList::~DownloadList()
{
    if (m_savePending && m_file)
        m_file->save(records());
}

QList<DownloadRecord> DownloadList::records() const
{
    QList<DownloadRecord> out;
    out.reserve(m_entries.size());
    for (const Entry &e : m_entries)
        out << e.record;
    return out;
}

int DownloadList::rowOf(quint64 id) const
{
    for (int row = 0; row < count(); ++row) {
        if (m_entries.at(row).id == id)
            return row;
    }
    return -1;
}

quint64 DownloadList::add(const QString &address, const QString &path)
{
    Entry e;
    e.id = m_nextId++;
    e.record.address = address.size() <= DownloadRecord::MaxAddressChars ? address : QString();
    e.record.path = path.left(DownloadRecord::MaxPathChars);
    e.record.started = QDateTime::currentDateTimeUtc();
    beginInsertRows({}, 0, 0);
    m_entries.prepend(e);
    endInsertRows();
    if (count() > MaxRecords) {
        beginRemoveRows({}, MaxRecords, count() - 1);
        m_entries.resize(MaxRecords);
        endRemoveRows();
    }
    scheduleSave();
    return e.id;
}

void DownloadList::setProgress(quint64 id, qint64 received, qint64 size)
{
    const int row = rowOf(id);
    if (row < 0 || m_entries.at(row).record.state != State::Running)
        return;
    Entry &e = m_entries[row];
    e.record.received = received;
    e.record.size = size;
    if (!e.mark.isValid()) {
        e.mark.start();
        e.markBytes = received;
    } else if (const qint64 ms = e.mark.elapsed(); ms >= 1000) {
        e.speed = qMax<qint64>(0, received - e.markBytes) * 1000 / ms;
        e.mark.restart();
        e.markBytes = received;
    }
    changed(row, false);
}

void DownloadList::end(quint64 id, State state, const QString &reason)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    DownloadRecord &r = m_entries[row].record;
    r.state = state;
    r.reason = state == State::Failed ? reason.left(DownloadRecord::MaxReasonChars) : QString();
    r.ended = QDateTime::currentDateTimeUtc();
    if (state == State::Finished && r.size < 0)
        r.size = r.received;
    m_entries[row].speed = -1;
    changed(row, true);
}

void DownloadList::restart(quint64 id)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    Entry &e = m_entries[row];
    DownloadRecord fresh;
    fresh.address = e.record.address;
    fresh.path = e.record.path;
    e.record = fresh;
    e.record.started = QDateTime::currentDateTimeUtc();
    e.speed = -1;
    e.mark.invalidate();
    changed(row, true);
}

void DownloadList::remove(int row)
{
    if (row < 0 || row >= count() || at(row).state == State::Running)
        return;
    beginRemoveRows({}, row, row);
    m_entries.removeAt(row);
    endRemoveRows();
    scheduleSave();
}

void DownloadList::cancel(int row)
{
    if (row >= 0 && row < count() && at(row).state == State::Running)
        Q_EMIT cancelRequested(idAt(row));
}

void DownloadList::retry(int row)
{
    if (row >= 0 && row < count() && canRetry(at(row)))
        Q_EMIT retryRequested(idAt(row));
}

bool DownloadList::canRetry(const DownloadRecord &record)
{
    return (record.state == State::Failed || record.state == State::Cancelled) && !record.address.isEmpty();
}

QString DownloadList::shown(QString text)
{
    // A line break in a name, or a direction override that makes "evil<RLO>txt.sh" read
    // as "evilhs.txt".
    for (QChar &ch : text) {
        if (ch.category() == QChar::Other_Control || ch.category() == QChar::Other_Format)
            ch = QChar::ReplacementCharacter;
    }
    return text;
}

QString DownloadList::sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString DownloadList::statusText(const DownloadRecord &record, qint64 speed)
{
    switch (record.state) {
    case State::Running: {
        QString text = record.size > 0
            ? QStringLiteral("%1% of %2").arg(qMin<qint64>(100, record.received * 100 / record.size)).arg(sizeText(record.size))
            : QStringLiteral("%1 so far").arg(sizeText(record.received));
        if (speed >= 0)
            text += QStringLiteral(", %1/s").arg(sizeText(speed));
        return text;
    }
    case State::Finished:
        return QStringLiteral("Finished");
    case State::Failed:
        return record.reason.isEmpty() ? QStringLiteral("Failed") : QStringLiteral("Failed: ") + record.reason;
    case State::Cancelled:
        return QStringLiteral("Cancelled");
    }
    return {};
}

int DownloadList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int DownloadList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DownloadList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const Entry &e = m_entries.at(index.row());
    const DownloadRecord &r = e.record;
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case Name:
            return shown(QFileInfo(r.path).fileName());
        case Size:
            return r.size >= 0 ? sizeText(r.size) : r.received > 0 ? sizeText(r.received) : QString();
        case Status:
            return shown(statusText(r, e.speed));
        }
    }
    // The whole path and reason where the column is too narrow for them, never as markup.
    if (role == Qt::ToolTipRole && index.column() != Size) {
        const QString text = shown(index.column() == Name ? r.path : statusText(r, e.speed));
        return QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(text.toHtmlEscaped());
    }
    if (role == Qt::TextAlignmentRole && index.column() == Size)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant DownloadList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Name:
        return QStringLiteral("Name");
    case Size:
        return QStringLiteral("Size");
    case Status:
        return QStringLiteral("Status");
    }
    return {};
}

void DownloadList::changed(int row, bool save)
{
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
    if (save)
        scheduleSave();
}

void DownloadList::scheduleSave()
{
    if (!m_file || m_savePending)
        return;
    // Changes made together are written together.
    m_savePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_savePending = false;
            m_file->save(records());
        },
        Qt::QueuedConnection);
}
