#include "system/downloadlistfile.h"

#include "system/quietlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <optional>
#include <utility>
#include <sys/stat.h>

namespace {

using State = DownloadRecord::State;

const QString FormatName = QStringLiteral("halvane-downloads");

const std::pair<State, QString> StateNames[] = {
    {State::Running, QStringLiteral("running")},
    {State::Finished, QStringLiteral("finished")},
    {State::Failed, QStringLiteral("failed")},
    {State::Cancelled, QStringLiteral("cancelled")},
};

QString stateName(State state)
{
    for (const auto &[s, name] : StateNames) {
        if (s == state)
            return name;
    }
    return {};
}

std::optional<State> stateNamed(const QString &name)
{
    for (const auto &[s, n] : StateNames) {
        if (n == name)
            return s;
    }
    return std::nullopt;
}

QString timeText(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QJsonObject recordObject(const DownloadRecord &r)
{
    return {
        {QStringLiteral("file"), r.path},
        {QStringLiteral("state"), stateName(r.state)},
        {QStringLiteral("address"), r.address},
        {QStringLiteral("size"), r.size},
        {QStringLiteral("received"), r.received},
        {QStringLiteral("reason"), r.reason},
        {QStringLiteral("started"), timeText(r.started)},
        {QStringLiteral("ended"), timeText(r.ended)},
    };
}

// A member that may be missing (its default stays); present, it must be of its kind.
bool readText(const QJsonObject &o, const QString &key, qsizetype maxChars, QString &out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return true;
    out = v.toString();
    return v.isString() && out.size() <= maxChars;
}

bool readCount(const QJsonObject &o, const QString &key, qint64 least, qint64 &out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return true;
    // Whole numbers a double holds exactly.
    constexpr double most = 9007199254740992.0;
    const double d = v.toDouble();
    if (!v.isDouble() || d != double(qint64(d)) || d < double(least) || d > most)
        return false;
    out = qint64(d);
    return true;
}

bool readTime(const QJsonObject &o, const QString &key, QDateTime &out)
{
    QString text;
    if (!readText(o, key, 64, text))
        return false;
    if (text.isEmpty())
        return true;
    out = QDateTime::fromString(text, Qt::ISODateWithMs);
    return out.isValid();
}

std::optional<DownloadRecord> readRecord(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    const QJsonValue file = o.value(QStringLiteral("file"));
    const std::optional<State> state = stateNamed(o.value(QStringLiteral("state")).toString());
    DownloadRecord r;
    r.path = file.toString();
    if (!value.isObject() || !state || !file.isString() || !QDir::isAbsolutePath(r.path)
        || r.path.size() > DownloadRecord::MaxPathChars || r.path.contains(QChar(0)))
        return std::nullopt;
    r.state = *state;
    const bool whole = readText(o, QStringLiteral("address"), DownloadRecord::MaxAddressChars, r.address)
                       && readText(o, QStringLiteral("reason"), DownloadRecord::MaxReasonChars, r.reason)
                       && readCount(o, QStringLiteral("size"), -1, r.size)
                       && readCount(o, QStringLiteral("received"), 0, r.received)
                       && readTime(o, QStringLiteral("started"), r.started)
                       && readTime(o, QStringLiteral("ended"), r.ended);
    if (!whole)
        return std::nullopt;
    return r;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile out(path);
    bool written = out.open(QIODevice::WriteOnly);
    if (written) {
        // What was downloaded from where is the user's alone.
        ::fchmod(out.handle(), S_IRUSR | S_IWUSR);
        written = out.write(bytes) == bytes.size() && out.commit();
    }
    if (!written)
        quietlog::warnOnce(lcDownloads(), QStringLiteral("The downloads list was not written to %1: %2.")
                                              .arg(path, out.errorString()));
}

} // namespace

QByteArray DownloadListFile::encode(const QList<DownloadRecord> &records)
{
    QJsonArray downloads;
    for (const DownloadRecord &r : records)
        downloads.append(recordObject(r));
    const QJsonObject top{
        {QStringLiteral("format"), FormatName},
        {QStringLiteral("version"), Version},
        {QStringLiteral("downloads"), downloads},
    };
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

DownloadListFile::Content DownloadListFile::decode(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonObject top = QJsonDocument::fromJson(bytes, &error).object();
    if (error.error != QJsonParseError::NoError)
        return {{}, QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset)};
    if (top.value(QStringLiteral("format")).toString() != FormatName)
        return {{}, QStringLiteral("not a downloads list")};
    const QJsonValue version = top.value(QStringLiteral("version"));
    if (!version.isDouble())
        return {{}, QStringLiteral("no version")};
    if (version.toDouble() != Version)
        return {{}, QStringLiteral("version %1, which this Halvane does not know").arg(version.toDouble())};
    const QJsonValue list = top.value(QStringLiteral("downloads"));
    if (!list.isArray())
        return {{}, QStringLiteral("no list of downloads")};
    Content content;
    qsizetype unread = 0;
    for (const QJsonValue &value : list.toArray()) {
        if (const std::optional<DownloadRecord> r = readRecord(value))
            content.records << *r;
        else
            ++unread;
    }
    if (unread > 0)
        content.damage = QStringLiteral("%1 of its %2 downloads could not be read").arg(unread).arg(list.toArray().size());
    return content;
}

DownloadListFile::DownloadListFile(QString path)
    : m_path(std::move(path))
{
    m_writer.setMaxThreadCount(1);
}

DownloadListFile::~DownloadListFile()
{
    waitForWrites();
}

DownloadListFile::Loaded DownloadListFile::load()
{
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink())
        return {};
    QFile file(m_path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        const QString notice = QStringLiteral("The downloads list %1 cannot be read; this session's downloads are "
                                              "listed until Halvane ends.").arg(m_path);
        quietlog::warnOnce(lcDownloads(), notice);
        return {{}, notice, false};
    }
    const QByteArray bytes = file.read(MaxBytes + 1);
    const Content content = bytes.size() > MaxBytes ? Content{{}, QStringLiteral("larger than 16 MiB")} : decode(bytes);
    if (content.damage.isEmpty())
        return {content.records, {}, true};
    file.close();
    const QString aside = setAside();
    Loaded loaded{content.records, {}, !aside.isEmpty()};
    loaded.notice = aside.isEmpty()
        ? QStringLiteral("The downloads list %1 is damaged (%2) and cannot be set aside; this session's downloads "
                         "are listed until Halvane ends.").arg(m_path, content.damage)
        : QStringLiteral("The downloads list %1 was damaged (%2): it is kept as %3, and the list goes on with "
                         "the %4 downloads that could be read.").arg(m_path, content.damage, aside)
              .arg(content.records.size());
    quietlog::warnOnce(lcDownloads(), loaded.notice);
    return loaded;
}

QString DownloadListFile::setAside() const
{
    const QFileInfo info(m_path);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1; n <= 100; ++n) {
        const QString name = info.completeBaseName() + QStringLiteral(".damaged-") + stamp
                             + (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + QLatin1Char('.') + info.suffix();
        const QString target = info.dir().filePath(name);
        if (!QFileInfo::exists(target) && QFile::rename(m_path, target))
            return target;
    }
    return {};
}

void DownloadListFile::save(const QList<DownloadRecord> &records)
{
    const QByteArray bytes = encode(records);
    const quint64 generation = ++m_latest;
    m_writer.start([this, bytes, generation] {
        if (generation == m_latest)
            writeFile(m_path, bytes);
    });
}

void DownloadListFile::waitForWrites()
{
    m_writer.waitForDone();
}
