#include "favorites/favoritesstore.h"

#include "formats/bookmarkshtml.h"
#include "formats/favoritesjson.h"
#include "system/backgroundfilewriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

using namespace Qt::StringLiterals;

namespace {

QString entries(qsizetype n)
{
    return n == 1 ? u"1 entry"_s : u"%1 entries"_s.arg(n);
}

QString fileSizeProblem(const QFileInfo &info)
{
    if (!info.isFile())
        return u"it is not a file"_s;
    if (info.size() > bookmarks::MaxFileBytes)
        return u"it is larger than %1 MiB"_s.arg(bookmarks::MaxFileBytes / (1024 * 1024));
    return {};
}

} // namespace

FavoritesStore::FavoritesStore(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_path(QDir(folder).filePath(fileName()))
{
    takeFolder(folder);
    if (!folder.isEmpty())
        load();
    m_model.setReadOnly(!m_readOnlyReason.isEmpty());
    if (!m_readOnlyReason.isEmpty())
        return;
    m_writer = std::make_unique<BackgroundFileWriter>(m_path, [this](const QString &why) {
        QMetaObject::invokeMethod(this, [this, why] { Q_EMIT writeFailed(why); }, Qt::QueuedConnection);
    });
    connect(&m_model, &FavoritesModel::changed, this, &FavoritesStore::save);
}

FavoritesStore::~FavoritesStore()
{
    // Its last write tells this store, which is still whole.
    m_writer.reset();
}

void FavoritesStore::takeFolder(const QString &folder)
{
    if (folder.isEmpty()) {
        m_readOnlyReason = u"there is no folder to keep them in"_s;
        return;
    }
    if (!QDir().mkpath(folder)) {
        m_readOnlyReason = u"%1 cannot be written"_s.arg(folder);
        return;
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_lock = std::make_unique<QLockFile>(QDir(folder).filePath(u"favorites.lock"_s));
    m_lock->setStaleLockTime(0); // only a dead holder's lock is stale
    if (!m_lock->tryLock(0)) {
        m_readOnlyReason = m_lock->error() == QLockFile::LockFailedError
                               ? u"another Halvane, started earlier, keeps them"_s
                               : u"%1 cannot be written"_s.arg(folder);
        m_lock.reset();
    }
}

void FavoritesStore::load()
{
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink())
        return;
    QString damage = fileSizeProblem(info);
    favoritesjson::ReadResult read;
    if (damage.isEmpty()) {
        QFile file(m_path);
        if (file.open(QIODevice::ReadOnly))
            read = favoritesjson::read(file.readAll());
        else
            read.damage = u"it cannot be read (%1)"_s.arg(file.errorString());
        damage = read.damage;
    }
    m_model.setTree(read.tree);
    if (damage.isEmpty())
        return;
    const QString kept = read.tree.isEmpty() ? u"Halvane starts with no favorites"_s
                                             : u"the %1 read from it are kept"_s.arg(entries(bookmarks::count(read.tree)));
    if (!m_readOnlyReason.isEmpty()) {
        // What becomes of the file is for the Halvane that keeps it to decide.
        m_notice = u"The favorites file %1 could not be read whole: %2; %3."_s.arg(m_path, damage, kept);
        return;
    }
    QString aside;
    QString why;
    if (setAside(&aside, &why)) {
        m_notice = u"The favorites file could not be read whole: %1. It was kept as %2, and %3."_s.arg(damage, aside, kept);
        return;
    }
    // Writing the favorites now would put the file's unread part out of reach.
    m_readOnlyReason = u"the damaged favorites file could not be set aside"_s;
    m_notice = u"The favorites file %1 could not be read whole: %2. It could not be set aside either (%3), so "
               "no change to favorites is kept in this session, and the file stays as it is; %4."_s
                   .arg(m_path, damage, why, kept);
}

bool FavoritesStore::setAside(QString *aside, QString *why)
{
    const QString base = m_path + u".damaged-"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    *aside = base;
    for (int n = 2; QFileInfo::exists(*aside) || QFileInfo(*aside).isSymLink(); ++n)
        *aside = base + u'-' + QString::number(n);
    QFile file(m_path);
    if (file.rename(*aside))
        return true;
    *why = file.errorString();
    return false;
}

void FavoritesStore::save()
{
    if (m_writer)
        m_writer->write([tree = m_model.tree()] { return favoritesjson::write(tree); });
}

void FavoritesStore::flush()
{
    if (m_writer)
        m_writer->flush();
}

QString FavoritesStore::importHtml(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    if (!m_readOnlyReason.isEmpty())
        return u"Nothing was imported: favorites cannot be changed now, as %1."_s.arg(m_readOnlyReason);
    QFile file(path);
    QString problem = fileSizeProblem(QFileInfo(path));
    if (problem.isEmpty() && !file.open(QIODevice::ReadOnly))
        problem = u"it cannot be read (%1)"_s.arg(file.errorString());
    if (!problem.isEmpty())
        return u"Nothing was imported from %1: %2."_s.arg(name, problem);
    const bookmarkshtml::ReadResult read = bookmarkshtml::read(file.readAll());
    if (!read.recognized)
        return u"Nothing was imported: %1 is not a bookmarks file."_s.arg(name);
    const QString folder = u"Imported from "_s + name;
    qsizetype tooDeep = 0;
    QString said;
    if (read.tree.isEmpty())
        said = u"%1 holds no favorites to import."_s.arg(name);
    else if (m_model.addFolderWithTree(folder, read.tree, &tooDeep).isValid())
        said = u"Imported %1 into the folder \"%2\"."_s.arg(entries(bookmarks::count(read.tree) - tooDeep), folder);
    else
        said = u"Nothing was imported: there would be more than %1 favorites."_s.arg(bookmarks::MaxEntries);
    const qsizetype leftOut = read.leftOut + tooDeep;
    if (read.refused > 0)
        said += u" Left out: %1 with an address other than http, https, file or ftp."_s.arg(entries(read.refused));
    if (leftOut > 0)
        said += u" Left out: %1 nested too deeply or past the most a file keeps."_s.arg(entries(leftOut));
    return said;
}

QString FavoritesStore::exportHtml(const QString &path) const
{
    const QList<Bookmark> tree = m_model.tree();
    QString why;
    if (!BackgroundFileWriter::writeFile(path, bookmarkshtml::write(tree), &why))
        return u"Nothing was exported: %1 could not be written (%2)."_s.arg(path, why);
    return u"Exported %1 to %2."_s.arg(entries(bookmarks::count(tree)), path);
}
