#include "formats/bookmarkshtml.h"

#include <QStringList>

#include <optional>

namespace bookmarkshtml {

namespace {

using namespace Qt::StringLiterals;

// The longest entity looked for after '&': "&#1114111;" and "&quot;" fit.
constexpr qsizetype MaxEntityChars = 10;

char32_t namedEntity(QStringView name)
{
    static const struct
    {
        const char16_t *name;
        char32_t value;
    } entities[] = {{u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''}, {u"nbsp", 0xA0}};
    for (const auto &e : entities) {
        if (name.compare(QStringView(e.name), Qt::CaseInsensitive) == 0)
            return e.value;
    }
    return 0;
}

// The character an entity's body ("amp", "#38", "#x26") stands for; 0 for none, and
// U+FFFD for a number that is no character.
char32_t entityValue(QStringView body)
{
    if (!body.startsWith(u'#'))
        return namedEntity(body);
    const bool hex = body.size() > 1 && (body[1] == u'x' || body[1] == u'X');
    bool ok = false;
    const uint value = body.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
    if (!ok)
        return 0;
    const bool character = value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
    return character ? char32_t(value) : char32_t(0xFFFD);
}

// The text with its entities decoded; an '&' that starts none stays as it is.
QString decodeEntities(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            const QStringView ahead = text.mid(i + 1, MaxEntityChars);
            const qsizetype semicolon = ahead.indexOf(u';');
            if (const char32_t c = semicolon > 0 ? entityValue(ahead.left(semicolon)) : 0) {
                out += QString::fromUcs4(&c, 1);
                i += semicolon + 1;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool isNameChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

struct Tag
{
    QString name; // lower case; empty for a comment or declaration
    bool closing = false;
    QList<std::pair<QString, QStringView>> attributes; // names in lower case, values as written
    qsizetype end = 0;                                 // just past the tag

    QString attribute(QLatin1StringView wanted) const
    {
        for (const auto &[name, value] : attributes) {
            if (name == wanted)
                return decodeEntities(value).trimmed();
        }
        return {};
    }
};

// The tag's name at pos, just past its '<' (and '/'): lower case, empty when none.
QString tagNameAt(QStringView text, qsizetype pos)
{
    qsizetype end = pos;
    while (end < text.size() && isNameChar(text[end]))
        ++end;
    return text.mid(pos, end - pos).toString().toLower();
}

void skipSpaces(QStringView text, qsizetype &pos)
{
    while (pos < text.size() && text[pos].isSpace())
        ++pos;
}

// An attribute's value from pos: quoted (to its closing quote, or the end) or bare (to
// a space or '>').
QStringView attributeValue(QStringView text, qsizetype &pos)
{
    if (pos < text.size() && (text[pos] == u'"' || text[pos] == u'\'')) {
        const QChar quote = text[pos++];
        qsizetype close = text.indexOf(quote, pos);
        if (close < 0)
            close = text.size();
        const QStringView value = text.mid(pos, close - pos);
        pos = std::min(close + 1, text.size());
        return value;
    }
    const qsizetype start = pos;
    while (pos < text.size() && !text[pos].isSpace() && text[pos] != u'>')
        ++pos;
    return text.mid(start, pos - start);
}

// The attributes from pos to the tag's '>' (or the end), which pos is left past.
void readAttributes(QStringView text, qsizetype &pos, Tag &tag)
{
    while (pos < text.size()) {
        skipSpaces(text, pos);
        if (pos >= text.size())
            break;
        if (text[pos] == u'>') {
            ++pos;
            break;
        }
        const qsizetype start = pos;
        while (pos < text.size() && !text[pos].isSpace() && text[pos] != u'=' && text[pos] != u'>')
            ++pos;
        if (pos == start) { // a stray '='
            ++pos;
            continue;
        }
        const QString name = text.mid(start, pos - start).toString().toLower();
        skipSpaces(text, pos);
        QStringView value;
        if (pos < text.size() && text[pos] == u'=') {
            ++pos;
            skipSpaces(text, pos);
            value = attributeValue(text, pos);
        }
        tag.attributes.append({name, value});
    }
}

// The tag at text[pos] == '<'; nullopt when that '<' starts no tag (it is text).
std::optional<Tag> readTag(QStringView text, qsizetype pos)
{
    Tag tag;
    const QStringView rest = text.mid(pos);
    if (rest.startsWith(u"<!--")) {
        const qsizetype close = text.indexOf(u"-->", pos + 4);
        tag.end = close < 0 ? text.size() : close + 3;
        return tag;
    }
    if (rest.startsWith(u"<!") || rest.startsWith(u"<?")) {
        const qsizetype close = text.indexOf(u'>', pos);
        tag.end = close < 0 ? text.size() : close + 1;
        return tag;
    }
    qsizetype at = pos + 1;
    tag.closing = at < text.size() && text[at] == u'/';
    if (tag.closing)
        ++at;
    tag.name = tagNameAt(text, at);
    if (tag.name.isEmpty() || !(tag.name[0].isLetter()))
        return std::nullopt;
    at += tag.name.size();
    readAttributes(text, at, tag);
    tag.end = at;
    return tag;
}

// Whether the tag at '<' (pos) ends an unclosed name: one that starts the next entry or
// list. The one that closes the name itself ("</a>", "</h3>") is told apart by name.
bool endsName(QStringView text, qsizetype pos, const QString &element, bool *closesIt)
{
    const bool closing = pos + 1 < text.size() && text[pos + 1] == u'/';
    const QString name = tagNameAt(text, pos + (closing ? 2 : 1));
    *closesIt = closing && name == element;
    if (*closesIt)
        return true;
    if (closing)
        return name == u"dl"_s;
    return name == u"dt"_s || name == u"dl"_s || name == u"dd"_s || name == u"a"_s || name == u"h3"_s;
}

class Reader
{
public:
    explicit Reader(QString text) : m_text(std::move(text)) {}

    ReadResult run()
    {
        const QStringView text(m_text);
        qsizetype pos = 0;
        while (pos < text.size()) {
            const qsizetype open = text.indexOf(u'<', pos);
            if (open < 0)
                break;
            const std::optional<Tag> tag = readTag(text, open);
            pos = tag ? tag->end : open + 1;
            if (tag && !tag->name.isEmpty())
                pos = take(*tag);
        }
        return std::move(m_result);
    }

private:
    struct Level
    {
        QList<Bookmark> *list; // where this level's entries go
        int depth;             // how many folders hold them
    };

    // Acts on the tag; returns where reading goes on.
    qsizetype take(const Tag &tag)
    {
        if (tag.name == u"dl"_s) {
            if (tag.closing)
                closeList();
            else
                openList();
        } else if (!tag.closing && (tag.name == u"a"_s || tag.name == u"h3"_s)) {
            return readEntry(tag);
        }
        return tag.end;
    }

    void openList()
    {
        m_result.recognized = true;
        const Level here = current();
        Bookmark *folder = std::exchange(m_pendingFolder, nullptr);
        // A list with no folder named before it keeps to the folder it is in; nested in
        // itself without end, it is left out as too deep too.
        const int depth = here.depth + (folder ? 1 : 0);
        if (m_tooDeep > 0 || depth > bookmarks::MaxDepth || m_open.size() > 2 * bookmarks::MaxDepth) {
            ++m_tooDeep;
            return;
        }
        m_open.append({folder ? &folder->children : here.list, depth});
    }

    void closeList()
    {
        m_pendingFolder = nullptr;
        if (m_tooDeep > 0)
            --m_tooDeep;
        else if (!m_open.isEmpty())
            m_open.removeLast();
    }

    Level current()
    {
        // Entries before any list go to the top.
        return m_open.isEmpty() ? Level{&m_result.tree, 0} : m_open.last();
    }

    qsizetype readEntry(const Tag &tag)
    {
        m_pendingFolder = nullptr;
        const QStringView text(m_text);
        qsizetype end = tag.end;
        bool closed = false;
        while ((end = text.indexOf(u'<', end)) >= 0 && !endsName(text, end, tag.name, &closed))
            ++end;
        if (end < 0)
            end = text.size();
        // Far more than a name keeps, however much of it is white space or entities.
        const QStringView raw = text.mid(tag.end, std::min(end - tag.end, bookmarks::MaxNameChars * 8));
        Bookmark entry;
        entry.name = bookmarks::plainName(decodeEntities(raw));
        entry.added = bookmarks::fromSeconds(tag.attribute("add_date"_L1).toLongLong());
        entry.folder = tag.name == u"h3"_s;
        if (!entry.folder)
            entry.address = tag.attribute("href"_L1);
        add(std::move(entry));
        return closed ? readTag(text, end)->end : end;
    }

    void add(Bookmark entry)
    {
        if (m_tooDeep > 0 || m_entries >= bookmarks::MaxEntries) {
            ++m_result.leftOut;
            return;
        }
        if (!entry.folder && !bookmarks::keptAddress(entry.address)) {
            ++m_result.refused;
            return;
        }
        if (entry.name.isEmpty())
            entry.name = entry.folder ? QStringLiteral("Folder") : bookmarks::plainName(entry.address);
        ++m_entries;
        QList<Bookmark> *list = current().list;
        list->append(std::move(entry));
        if (list->last().folder)
            m_pendingFolder = &list->last();
    }

    QString m_text;
    ReadResult m_result;
    QList<Level> m_open; // innermost last
    int m_tooDeep = 0;   // lists open past MaxDepth, whose entries are left out
    // The folder an <H3> just named: the next <DL> is its list.
    Bookmark *m_pendingFolder = nullptr;
    qsizetype m_entries = 0;
};

void writeList(QString &out, const QList<Bookmark> &list, int depth)
{
    const QString indent(depth * 4, u' ');
    for (const Bookmark &b : list) {
        const QString added
            = b.added.isValid() ? u" ADD_DATE=\"%1\""_s.arg(b.added.toSecsSinceEpoch()) : QString();
        if (b.folder) {
            out += indent + u"<DT><H3"_s + added + u'>' + b.name.toHtmlEscaped() + u"</H3>\n"_s;
            out += indent + u"<DL><p>\n"_s;
            writeList(out, b.children, depth + 1);
            out += indent + u"</DL><p>\n"_s;
        } else {
            out += indent + u"<DT><A HREF=\""_s + b.address.toHtmlEscaped() + u'"' + added + u'>'
                   + b.name.toHtmlEscaped() + u"</A>\n"_s;
        }
    }
}

} // namespace

ReadResult read(const QByteArray &html)
{
    return Reader(QString::fromUtf8(html)).run();
}

QByteArray write(const QList<Bookmark> &tree)
{
    QString out = u"<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                  u"<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                  u"<TITLE>Bookmarks</TITLE>\n"
                  u"<H1>Bookmarks</H1>\n"
                  u"<DL><p>\n"_s;
    writeList(out, tree, 1);
    out += u"</DL><p>\n"_s;
    return out.toUtf8();
}

} // namespace bookmarkshtml
