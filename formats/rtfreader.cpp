#include "formats/rtfreader.h"

#include "formats/rtfcodepages.h"
#include "formats/rtfkeywords.h"

#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <climits>
#include <memory>
#include <string_view>
#include <vector>

namespace {

// Limits that keep hostile input from costing more than its length.
constexpr qsizetype kMaxDepth = 1000;       // deeper groups are read as text-less
constexpr qsizetype kMaxWordLength = 32;    // longer control words are unknown words
constexpr qsizetype kMaxTableEntries = 1000;
constexpr int kMinHalfPoints = 4;           // 2 pt: Qt cannot make a superscript of less
constexpr int kMaxHalfPoints = 3276;        // 1638 pt, the largest size word processors offer
constexpr int kMaxTwips = 31680;            // 22 inches: any indent or spacing beyond is damage
constexpr int kMaxUcSkip = 255;
constexpr qsizetype kByteFlush = 1 << 14;      // undecoded text kept at most
constexpr qsizetype kMaxFontName = 255;          // far beyond any real font's name
constexpr qsizetype kParagraphFlush = 1 << 16; // characters of a paragraph kept before insertion
constexpr size_t kFormatCacheSize = 32;
constexpr qint64 kMaxFileBytes = qint64(256) * 1024 * 1024;

using rtf::codecName;
using rtf::codePageOfCharset;
using rtf::Keyword;
using rtf::Kw;
using rtf::lookup;

enum class Dest : quint8 { Text, FontTable, ColorTable, Skip };

struct CharProps
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    qint8 vertical = 0; // 1 superscript, -1 subscript
    int font = 0;
    int halfPoints = 24;
    int fore = 0;
    int back = 0;
    bool operator==(const CharProps &) const = default;
};

struct ParaProps
{
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0;
    int right = 0;
    int first = 0;
    int before = 0;
    int after = 0;
    bool operator==(const ParaProps &) const = default;
};

struct GroupState
{
    CharProps chr;
    ParaProps para;
    Dest dest = Dest::Text;
    int ucSkip = 1;
};

struct FontEntry
{
    QString family;
    int codePage = 0;
};

bool isLetter(uchar c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(uchar c) { return c >= '0' && c <= '9'; }

int hexValue(uchar c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Bytes of ordinary text: everything but the syntax characters and control codes.
bool isPlainText(uchar c)
{
    return (c >= 0x20 && c != '\\' && c != '{' && c != '}') || c == '\t';
}

class Reader
{
public:
    Reader(const uchar *begin, const uchar *end, QTextDocument &doc, qsizetype maxCharacters)
        : m_p(begin), m_end(end), m_doc(doc), m_cursor(&doc), m_maxCharacters(maxCharacters)
    {
        m_states.reserve(64);
        m_states.push_back(GroupState{});
    }

    // The tab stop spacing the file asks for, in pixels.
    double tabStopDistance() const { return m_tabStopDistance; }

    // Reads from just after the document's opening brace.
    void run()
    {
        while (m_p < m_end && !m_full) {
            const uchar c = *m_p++;
            switch (c) {
            case '{':
                openGroup();
                break;
            case '}':
                if (!closeGroup())
                    return;
                break;
            case '\\':
                controlSequence();
                break;
            case '\r':
            case '\n':
                break; // line breaks in the file are not text
            default:
                textByte(c);
                break;
            }
        }
        finish(); // the data ended inside a group
    }

private:
    GroupState &state() { return m_states.back(); }

    void openGroup()
    {
        m_skip = 0;
        if (m_overflow > 0 || qsizetype(m_states.size()) >= kMaxDepth) {
            ++m_overflow;
            return;
        }
        flushBytes();
        m_states.push_back(m_states.back());
    }

    // False once the document's outermost group has closed.
    bool closeGroup()
    {
        m_skip = 0;
        if (m_overflow > 0) {
            --m_overflow;
            return true;
        }
        flushBytes();
        if (m_states.size() == 1) {
            finish();
            return false;
        }
        // A font entry written as its own group need not end in ';'.
        if (state().dest == Dest::FontTable && m_fontOpen && !m_fontName.isEmpty())
            commitFont();
        m_states.pop_back();
        return true;
    }

    void textByte(uchar c)
    {
        if (m_skip > 0) {
            --m_skip;
            return;
        }
        // No fallback to skip: the whole run of plain bytes goes at once.
        if (m_overflow > 0 || state().dest == Dest::Skip) {
            while (m_p < m_end && *m_p != '\\' && *m_p != '{' && *m_p != '}')
                ++m_p;
            return;
        }
        if (state().dest == Dest::Text) {
            if (!isPlainText(c))
                return;
            // A flush's worth at a time, so a long run of text meets the character limit
            // as soon as any other text would.
            const uchar *start = m_p - 1;
            const uchar *stop = m_p + std::min<qsizetype>(m_end - m_p, kByteFlush);
            while (m_p < stop && isPlainText(*m_p))
                ++m_p;
            m_bytes.append(reinterpret_cast<const char *>(start), m_p - start);
            if (m_bytes.size() >= kByteFlush)
                flushBytes();
            return;
        }
        byte(c);
    }

    // One byte of text in the current destination, from the file or from \'hh. Every
    // way in meets the same bound: undecoded bytes go on at kByteFlush.
    void byte(uchar c)
    {
        if (m_bytes.size() >= kByteFlush)
            flushBytes();
        switch (state().dest) {
        case Dest::Text:
            if (c >= 0x20 || c == '\t')
                m_bytes.append(char(c));
            break;
        case Dest::FontTable:
            if (c == ';') {
                flushBytes();
                commitFont();
            } else if (c >= 0x20) {
                m_bytes.append(char(c));
            }
            break;
        case Dest::ColorTable:
            if (c == ';')
                commitColor();
            break;
        case Dest::Skip:
            break;
        }
    }

    void controlSequence()
    {
        if (m_p == m_end)
            return;
        const uchar c = *m_p;
        if (!isLetter(c)) {
            ++m_p;
            symbol(c);
            return;
        }
        const uchar *name = m_p;
        while (m_p < m_end && isLetter(*m_p))
            ++m_p;
        const qsizetype length = m_p - name;

        bool hasParam = false;
        int param = 0;
        const uchar *q = m_p;
        const bool negative = q < m_end && *q == '-';
        if (negative)
            ++q;
        if (q < m_end && isDigit(*q)) {
            // Every digit belongs to the word; the value saturates instead of overflowing.
            qint64 v = 0;
            for (; q < m_end && isDigit(*q); ++q) {
                if (v <= INT_MAX)
                    v = v * 10 + (*q - '0');
            }
            v = std::min<qint64>(v, INT_MAX);
            param = int(negative ? -v : v);
            hasParam = true;
            m_p = q;
        }
        if (m_p < m_end && *m_p == ' ')
            ++m_p; // the delimiting blank is part of the word

        const std::string_view text(reinterpret_cast<const char *>(name), size_t(length));
        word(length <= kMaxWordLength ? lookup(text) : Keyword{text, Kw::Unknown}, hasParam, param);
    }

    void symbol(uchar c)
    {
        if (c == '\'') {
            // Two hex digits make a byte; a lone digit is a damaged escape and is dropped.
            int value = -1;
            if (m_p < m_end && hexValue(*m_p) >= 0) {
                const int hi = hexValue(*m_p++);
                if (m_p < m_end && hexValue(*m_p) >= 0)
                    value = hi * 16 + hexValue(*m_p++);
            }
            if (m_skip > 0) {
                --m_skip;
                return;
            }
            if (value >= 0 && m_overflow == 0)
                byte(uchar(value));
            return;
        }
        if (m_skip > 0) {
            --m_skip;
            return;
        }
        if (m_overflow > 0)
            return;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            byte(c);
            break;
        case '~':
            character(0x00A0);
            break;
        case '-':
            character(0x00AD);
            break;
        case '_':
            character(0x2011);
            break;
        case '\t':
            character('\t');
            break;
        case '\r':
        case '\n':
            paragraph();
            break;
        case '*':
            flushBytes();
            state().dest = Dest::Skip;
            break;
        default:
            break; // \| \: and the like mark things we do not show
        }
    }

    void word(const Keyword &keyword, bool hasParam, int param)
    {
        const Kw kw = keyword.kw;
        if (kw == Kw::Bin) {
            // Raw bytes follow, whatever they look like; never past the end of the data.
            const qsizetype n = hasParam ? std::max(param, 0) : 0;
            m_p += std::min<qsizetype>(n, m_end - m_p);
            if (m_skip > 0)
                --m_skip;
            return;
        }
        if (m_skip > 0) {
            --m_skip;
            return;
        }
        if (m_overflow > 0)
            return;
        flushBytes();

        GroupState &s = state();
        const bool on = !hasParam || param != 0;
        switch (kw) {
        case Kw::Unknown:
            break;
        case Kw::FontTable:
            s.dest = Dest::FontTable;
            m_fontOpen = false;
            break;
        case Kw::ColorTable:
            s.dest = Dest::ColorTable;
            m_colorSet = false;
            m_red = m_green = m_blue = 0;
            break;
        case Kw::SkipDest:
            s.dest = Dest::Skip;
            break;
        case Kw::Ansi: m_docCodePage = 1252; break;
        case Kw::Mac: m_docCodePage = 10000; break;
        case Kw::Pc: m_docCodePage = 437; break;
        case Kw::Pca: m_docCodePage = 850; break;
        case Kw::AnsiCpg:
            if (hasParam)
                m_docCodePage = param;
            break;
        case Kw::Deff:
            if (hasParam) {
                m_defaultFont = param;
                if (m_states.size() == 1 && !m_sawFontWord)
                    s.chr.font = param;
            }
            break;
        case Kw::DefTab:
            // Applied once at the end: each change of the document's text option lays out
            // every block again, so a file of many of these would take quadratic time.
            if (hasParam && param > 0)
                m_tabStopDistance = std::min(param, kMaxTwips) / 15.0;
            break;
        case Kw::FCharset:
            if (s.dest == Dest::FontTable && hasParam)
                m_fontCodePage = codePageOfCharset(param);
            break;
        case Kw::Cpg:
            if (s.dest == Dest::FontTable && hasParam)
                m_fontCodePage = param;
            break;
        case Kw::Red:
        case Kw::Green:
        case Kw::Blue:
            if (s.dest == Dest::ColorTable) {
                const int v = std::clamp(hasParam ? param : 0, 0, 255);
                (kw == Kw::Red ? m_red : kw == Kw::Green ? m_green : m_blue) = v;
                m_colorSet = true;
            }
            break;
        case Kw::Plain:
            s.chr = CharProps{};
            s.chr.font = m_defaultFont;
            break;
        case Kw::Bold: s.chr.bold = on; break;
        case Kw::Italic: s.chr.italic = on; break;
        case Kw::Underline: s.chr.underline = on; break;
        case Kw::UnderlineNone: s.chr.underline = false; break;
        case Kw::Strike: s.chr.strike = on; break;
        case Kw::Super: s.chr.vertical = 1; break;
        case Kw::Sub: s.chr.vertical = -1; break;
        case Kw::NoSuperSub: s.chr.vertical = 0; break;
        case Kw::Hidden: s.chr.hidden = on; break;
        case Kw::Font:
            if (s.dest == Dest::FontTable) {
                // A new entry; one left without ';' is finished first.
                if (m_fontOpen && !m_fontName.isEmpty())
                    commitFont();
                m_fontOpen = true;
                m_fontNumber = hasParam ? param : 0;
                m_fontName.clear();
                m_fontCodePage = 0;
            } else {
                s.chr.font = hasParam ? param : 0;
                m_sawFontWord = true;
            }
            break;
        case Kw::FontSize:
            if (!hasParam)
                s.chr.halfPoints = 24;
            else if (param > 0)
                s.chr.halfPoints = std::clamp(param, kMinHalfPoints, kMaxHalfPoints);
            break;
        case Kw::ColorFore: s.chr.fore = std::max(hasParam ? param : 0, 0); break;
        case Kw::ColorBack: s.chr.back = std::max(hasParam ? param : 0, 0); break;
        case Kw::Uc:
            s.ucSkip = std::clamp(hasParam ? param : 1, 0, kMaxUcSkip);
            break;
        case Kw::U:
            if (hasParam)
                unicode(param);
            m_skip = s.ucSkip; // after unicode(): the fallback that follows is not text
            break;
        case Kw::Bin:
            break; // handled above
        case Kw::Pard:
            s.para = ParaProps{};
            break;
        case Kw::Par: paragraph(); break;
        case Kw::Char: character(keyword.ch); break;
        case Kw::Ql: s.para.align = Qt::AlignLeft; break;
        case Kw::Qc: s.para.align = Qt::AlignHCenter; break;
        case Kw::Qr: s.para.align = Qt::AlignRight; break;
        case Kw::Qj: s.para.align = Qt::AlignJustify; break;
        case Kw::Li: s.para.left = std::clamp(param, -kMaxTwips, kMaxTwips); break;
        case Kw::Ri: s.para.right = std::clamp(param, -kMaxTwips, kMaxTwips); break;
        case Kw::Fi: s.para.first = std::clamp(param, -kMaxTwips, kMaxTwips); break;
        case Kw::Sb: s.para.before = std::clamp(param, 0, kMaxTwips); break;
        case Kw::Sa: s.para.after = std::clamp(param, 0, kMaxTwips); break;
        }
    }

    // \uN: N is a signed 16-bit number in files, so -N stands for 65536 - N. Astral
    // characters come as a pair of surrogates; a surrogate without its partner is shown
    // as the replacement character.
    void unicode(int n)
    {
        const qint64 code = n < 0 ? qint64(n) + 65536 : n;
        if (code < 0 || code > 0x10FFFF) {
            character(QChar::ReplacementCharacter);
        } else if (code > 0xFFFF) {
            const char32_t ucs4[] = {char32_t(code)};
            append(QString::fromUcs4(ucs4, 1));
        } else if (QChar::isHighSurrogate(char32_t(code))) {
            resolveSurrogate();
            m_highSurrogate = char16_t(code);
        } else if (QChar::isLowSurrogate(char32_t(code)) && m_highSurrogate) {
            const QChar pair[] = {QChar(m_highSurrogate), QChar(char16_t(code))};
            m_highSurrogate = 0;
            append(QStringView(pair, 2));
        } else {
            character(char16_t(code));
        }
    }

    void character(char16_t c)
    {
        if (c < 0x20 && c != '\t')
            return; // control codes are no more text as \uN than as bytes
        const QChar ch(QChar::isSurrogate(c) ? char16_t(QChar::ReplacementCharacter) : c);
        append(QStringView(&ch, 1));
    }

    void resolveSurrogate()
    {
        if (m_highSurrogate) {
            m_highSurrogate = 0;
            const QChar replacement(QChar::ReplacementCharacter);
            appendResolved(QStringView(&replacement, 1));
        }
    }

    void append(QStringView text)
    {
        flushBytes();
        resolveSurrogate();
        appendResolved(text);
    }

    // Decoded text into the current destination.
    void appendResolved(QStringView text)
    {
        GroupState &s = state();
        if (s.dest == Dest::FontTable) {
            if (m_fontOpen && m_fontName.size() < kMaxFontName)
                m_fontName += text.left(kMaxFontName - m_fontName.size());
            return;
        }
        if (s.dest != Dest::Text || s.chr.hidden || text.isEmpty())
            return;
        if (m_runs.empty() || !(m_runs.back().first == s.chr))
            m_runs.emplace_back(s.chr, QString());
        m_runs.back().second += text;
        m_paragraphChars += text.size();
        if (m_paragraphChars >= kParagraphFlush)
            insertRuns();
    }

    int codePage()
    {
        if (state().dest == Dest::FontTable && m_fontCodePage)
            return m_fontCodePage;
        const auto it = m_fonts.constFind(state().chr.font);
        return it != m_fonts.cend() && it->codePage ? it->codePage : m_docCodePage;
    }

    QStringDecoder *decoder(int cp)
    {
        // Only code pages we know are kept: a file naming thousands of unknown ones
        // would otherwise grow this list and every look-up in it.
        if (!codecName(cp))
            return nullptr;
        const auto it = std::find_if(m_decoders.begin(), m_decoders.end(),
                                     [cp](const auto &d) { return d.first == cp; });
        if (it != m_decoders.end())
            return it->second.get();
        auto d = std::make_unique<QStringDecoder>(codecName(cp));
        if (!d->isValid())
            d.reset();
        return m_decoders.emplace_back(cp, std::move(d)).second.get();
    }

    // Decodes the bytes gathered so far in the code page of the text they belong to.
    void flushBytes()
    {
        if (m_bytes.isEmpty())
            return;
        const int cp = codePage();
        QStringDecoder *d = decoder(cp);
        if (cp != m_lastCodePage) {
            // A double-byte code page may hold half a character from before; it is lost.
            if (d)
                d->resetState();
            m_lastCodePage = cp;
        }
        // Into one reused buffer: big text passes through in small pieces.
        QStringView text;
        if (d) {
            m_decoded.resize(d->requiredSpace(m_bytes.size()));
            const QChar *end = d->appendToBuffer(m_decoded.data(), m_bytes);
            text = QStringView(m_decoded.constData(), end - m_decoded.constData());
        } else {
            m_decoded.resize(m_bytes.size());
            QChar *out = m_decoded.data();
            for (const char b : std::as_const(m_bytes))
                *out++ = QLatin1Char(b);
            text = m_decoded;
        }
        m_bytes.resize(0);
        resolveSurrogate();
        appendResolved(text);
    }

    QTextCharFormat charFormat(const CharProps &c) const
    {
        QTextCharFormat f;
        f.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(c.italic);
        f.setFontUnderline(c.underline);
        f.setFontStrikeOut(c.strike);
        f.setFontPointSize(c.halfPoints / 2.0);
        if (c.vertical != 0)
            f.setVerticalAlignment(c.vertical > 0 ? QTextCharFormat::AlignSuperScript
                                                  : QTextCharFormat::AlignSubScript);
        const auto font = m_fonts.constFind(c.font);
        if (font != m_fonts.cend() && !font->family.isEmpty())
            f.setFontFamilies(QStringList{font->family});
        if (c.fore > 0 && c.fore < m_colors.size() && m_colors.at(c.fore).isValid())
            f.setForeground(m_colors.at(c.fore));
        if (c.back > 0 && c.back < m_colors.size() && m_colors.at(c.back).isValid())
            f.setBackground(m_colors.at(c.back));
        return f;
    }

    static QTextBlockFormat blockFormat(const ParaProps &p)
    {
        QTextBlockFormat f;
        f.setAlignment(p.align);
        const int left = std::max(p.left, 0);
        f.setLeftMargin(left / 15.0);
        f.setRightMargin(std::max(p.right, 0) / 15.0);
        // A hanging first line may reach back to the page's edge, not beyond; a tab on it
        // goes to the indent, as in word processors, which is how bulleted lists are made.
        // Tab stops count from the line's start.
        const int first = std::max(p.first, -left);
        f.setTextIndent(first / 15.0);
        if (first < 0)
            f.setTabPositions({QTextOption::Tab(-first / 15.0, QTextOption::LeftTab)});
        f.setTopMargin(p.before / 15.0);
        f.setBottomMargin(p.after / 15.0);
        return f;
    }

    // Formats are made once per look, so the document sees the same format again and
    // again instead of equal copies.
    QTextCharFormat format(const CharProps &c)
    {
        for (const auto &[props, f] : m_formats) {
            if (props == c)
                return f;
        }
        if (m_formats.size() >= kFormatCacheSize)
            m_formats.clear();
        return m_formats.emplace_back(c, charFormat(c)).second;
    }

    // A paragraph's format is known at its \par, so its text waits until then and goes in
    // behind a block made with the right format; only a very long paragraph starts early.
    void startBlock()
    {
        const QTextBlockFormat block = blockFormat(state().para);
        const QTextCharFormat chr = format(state().chr);
        if (m_firstBlock) {
            m_cursor.setBlockFormat(block);
            m_cursor.setBlockCharFormat(chr);
            m_firstBlock = false;
        } else {
            m_cursor.insertBlock(block, chr);
            checkFull();
        }
        m_blockStarted = true;
        m_startedPara = state().para;
        m_startedChars = state().chr;
    }

    void insertRuns()
    {
        if (!m_blockStarted)
            startBlock();
        for (const auto &[props, text] : m_runs)
            m_cursor.insertText(text, format(props));
        m_runs.clear();
        m_paragraphChars = 0;
        checkFull();
    }

    // Past the limit by at most what one insertion adds; the caller cuts the excess.
    void checkFull() { m_full = m_doc.characterCount() - 1 > m_maxCharacters; }

    void endParagraph()
    {
        if (m_blockStarted) {
            insertRuns();
            if (!(m_startedPara == state().para))
                m_cursor.setBlockFormat(blockFormat(state().para));
            if (!(m_startedChars == state().chr))
                m_cursor.setBlockCharFormat(format(state().chr));
        } else {
            insertRuns();
        }
        m_blockStarted = false;
    }

    // \par ends the paragraph it follows; a document's last \par leaves no empty one behind.
    void paragraph()
    {
        flushBytes();
        resolveSurrogate();
        if (state().dest == Dest::Text)
            endParagraph();
    }

    void finish()
    {
        flushBytes();
        resolveSurrogate();
        if (m_blockStarted || !m_runs.empty())
            endParagraph();
        m_overflow = 0;
    }

    void commitFont()
    {
        m_formats.clear();
        if (m_fontOpen && (m_fonts.size() < kMaxTableEntries || m_fonts.contains(m_fontNumber)))
            m_fonts.insert(m_fontNumber, FontEntry{m_fontName.trimmed(), m_fontCodePage});
        m_fontOpen = false;
        m_fontName.clear();
        m_fontCodePage = 0;
    }

    void commitColor()
    {
        m_formats.clear();
        if (m_colors.size() < kMaxTableEntries)
            m_colors.push_back(m_colorSet ? QColor(m_red, m_green, m_blue) : QColor());
        m_colorSet = false;
        m_red = m_green = m_blue = 0;
    }

    const uchar *m_p;
    const uchar *const m_end;
    QTextDocument &m_doc;
    QTextCursor m_cursor;
    const qsizetype m_maxCharacters;
    bool m_full = false;

    std::vector<GroupState> m_states;
    qsizetype m_overflow = 0; // groups open beyond kMaxDepth
    int m_skip = 0;           // fallback characters after \uN still to skip

    int m_docCodePage = 1252;
    int m_defaultFont = 0;
    bool m_sawFontWord = false;
    QHash<int, FontEntry> m_fonts;
    bool m_fontOpen = false;
    int m_fontNumber = 0;
    int m_fontCodePage = 0;
    QString m_fontName;
    QList<QColor> m_colors;
    bool m_colorSet = false;
    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;

    QByteArray m_bytes; // text bytes not decoded yet
    QString m_decoded;
    int m_lastCodePage = 0;
    std::vector<std::pair<int, std::unique_ptr<QStringDecoder>>> m_decoders;
    double m_tabStopDistance = 720 / 15.0; // half an inch unless the file says otherwise
    char16_t m_highSurrogate = 0;

    std::vector<std::pair<CharProps, QTextCharFormat>> m_formats;
    std::vector<std::pair<CharProps, QString>> m_runs; // the paragraph's text, not inserted yet
    qsizetype m_paragraphChars = 0;
    bool m_firstBlock = true;
    bool m_blockStarted = false; // the paragraph's block is in the document
    ParaProps m_startedPara;
    CharProps m_startedChars;
};

// Where the document's text starts: after an optional UTF-8 byte order mark and blanks.
qsizetype contentStart(const QByteArray &data)
{
    qsizetype i = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < data.size() && (data.at(i) == ' ' || data.at(i) == '\t' || data.at(i) == '\r'
                               || data.at(i) == '\n'))
        ++i;
    return i;
}

} // namespace

RtfResult loadRtf(const QByteArray &rtf, QTextDocument &doc, qsizetype maxCharacters)
{
    maxCharacters = qMax<qsizetype>(0, maxCharacters);
    const qsizetype start = contentStart(rtf);
    if (start == rtf.size())
        return {false, QStringLiteral("it is empty")};
    if (!QByteArrayView(rtf).sliced(start).startsWith("{\\rtf"))
        return {false, QStringLiteral("it is not a Rich Text Format file")};

    bool cut = false;
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    doc.clear();
    {
        const auto *data = reinterpret_cast<const uchar *>(rtf.constData());
        Reader reader(data + start + 1, data + rtf.size(), doc, maxCharacters);
        QTextCursor edit(&doc);
        edit.beginEditBlock(); // one layout pass at the end, not one per insertion
        reader.run();
        QTextOption option = doc.defaultTextOption();
        option.setTabStopDistance(reader.tabStopDistance());
        doc.setDefaultTextOption(option);
        // The last insertion may have gone past the limit: cut there, never inside a
        // surrogate pair.
        cut = doc.characterCount() - 1 > maxCharacters;
        if (cut) {
            qsizetype at = maxCharacters;
            if (at > 0 && doc.characterAt(int(at - 1)).isHighSurrogate())
                --at;
            edit.setPosition(int(at));
            edit.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            edit.removeSelectedText();
        }
        edit.endEditBlock();
    }
    doc.setUndoRedoEnabled(undo);
    doc.setModified(false);
    return {true, QString(), cut};
}

RtfResult loadRtfFile(const QString &path, QTextDocument &doc, qsizetype maxCharacters)
{
    const QFileInfo info(path);
    if (info.isDir())
        return {false, QStringLiteral("it is a folder")};
    if (!info.exists())
        return {false, QStringLiteral("it does not exist")};
    if (!info.isFile())
        return {false, QStringLiteral("it is not a regular file")};

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {false, QStringLiteral("it cannot be opened (%1)").arg(file.errorString())};
    if (file.size() > kMaxFileBytes)
        return {false, QStringLiteral("it is larger than %1 MB").arg(kMaxFileBytes / (1024 * 1024))};
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {false, QStringLiteral("it cannot be read (%1)").arg(file.errorString())};
    return loadRtf(data, doc, maxCharacters);
}
