#include "formats/favoritesjson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <optional>

namespace favoritesjson {

namespace {

using namespace Qt::StringLiterals;

class Reader
{
public:
    QList<Bookmark> list(const QJsonArray &array, int depth)
    {
        QList<Bookmark> entries;
        if (depth > bookmarks::MaxDepth) {
            m_leftOut += array.size();
            return entries;
        }
        for (const QJsonValue &value : array) {
            if (std::optional<Bookmark> entry = readEntry(value, depth); entry && m_entries < bookmarks::MaxEntries) {
                ++m_entries;
                entries.append(std::move(*entry));
            } else {
                ++m_leftOut;
            }
        }
        return entries;
    }

    qsizetype leftOut() const { return m_leftOut; }

private:
    std::optional<Bookmark> readEntry(const QJsonValue &value, int depth)
    {
        const QJsonObject object = value.toObject();
        const QJsonValue name = object.value("name"_L1);
        const QJsonValue address = object.value("address"_L1);
        const QJsonValue children = object.value("children"_L1);
        const QJsonValue added = object.value("added"_L1);
        // Exactly one of an address and children.
        if (!value.isObject() || !name.isString() || address.isUndefined() == children.isUndefined())
            return std::nullopt;
        Bookmark entry;
        entry.name = bookmarks::plainName(name.toString());
        if (!added.isUndefined()) {
            // Whole seconds in range, tested before the conversion a huge number would break.
            const double seconds = added.toDouble();
            if (!added.isDouble() || seconds != std::floor(seconds) || seconds <= 0 || seconds > 1e12)
                return std::nullopt;
            entry.added = bookmarks::fromSeconds(qint64(seconds));
            if (!entry.added.isValid())
                return std::nullopt;
        }
        if (children.isUndefined()) {
            entry.address = address.toString();
            if (!address.isString() || !bookmarks::keptAddress(entry.address))
                return std::nullopt;
        } else {
            if (!children.isArray())
                return std::nullopt;
            entry.folder = true;
            entry.children = list(children.toArray(), depth + 1);
        }
        if (entry.name.isEmpty())
            return std::nullopt;
        return entry;
    }

    qsizetype m_entries = 0;
    qsizetype m_leftOut = 0;
};

QJsonArray toJson(const QList<Bookmark> &tree)
{
    QJsonArray array;
    for (const Bookmark &b : tree) {
        QJsonObject object{{"name"_L1, b.name}};
        if (b.added.isValid())
            object.insert("added"_L1, double(b.added.toSecsSinceEpoch()));
        if (b.folder)
            object.insert("children"_L1, toJson(b.children));
        else
            object.insert("address"_L1, b.address);
        array.append(object);
    }
    return array;
}

} // namespace

ReadResult read(const QByteArray &bytes)
{
    ReadResult result;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        result.damage = u"it is not whole JSON (%1 at byte %2)"_s.arg(error.errorString()).arg(error.offset);
        return result;
    }
    const QJsonObject top = document.object();
    const QJsonValue version = top.value("version"_L1);
    if (!document.isObject() || !version.isDouble() || version.toDouble() != Version) {
        result.damage = version.isDouble() ? u"its version %1 is not one this Halvane reads"_s.arg(version.toDouble())
                                           : u"it has no version this Halvane reads"_s;
        return result;
    }
    const QJsonValue favorites = top.value("favorites"_L1);
    if (!favorites.isArray()) {
        result.damage = u"it has no list of favorites"_s;
        return result;
    }
    Reader reader;
    result.tree = reader.list(favorites.toArray(), 0);
    result.leftOut = reader.leftOut();
    if (result.leftOut > 0)
        result.damage = result.leftOut == 1 ? u"an entry in it could not be read"_s
                                            : u"%1 entries in it could not be read"_s.arg(result.leftOut);
    return result;
}

QByteArray write(const QList<Bookmark> &tree)
{
    const QJsonObject top{{"version"_L1, Version}, {"favorites"_L1, toJson(tree)}};
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

} // namespace favoritesjson
