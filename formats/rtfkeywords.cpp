#include "formats/rtfkeywords.h"

#include <QChar>

#include <algorithm>
#include <iterator>

namespace rtf {

namespace {

// Sorted by name for the binary search in lookup().
constexpr Keyword kKeywords[] = {
    {"annotation", Kw::SkipDest}, {"ansi", Kw::Ansi}, {"ansicpg", Kw::AnsiCpg},
    {"atnauthor", Kw::SkipDest}, {"atnid", Kw::SkipDest}, {"b", Kw::Bold}, {"bin", Kw::Bin},
    {"bkmkend", Kw::SkipDest}, {"bkmkstart", Kw::SkipDest}, {"blue", Kw::Blue},
    {"bullet", Kw::Char, 0x2022}, {"cb", Kw::ColorBack}, {"cell", Kw::Char, u'\t'},
    {"cf", Kw::ColorFore}, {"colorschememapping", Kw::SkipDest}, {"colortbl", Kw::ColorTable},
    {"comment", Kw::SkipDest}, {"cpg", Kw::Cpg}, {"datastore", Kw::SkipDest},
    {"deff", Kw::Deff}, {"deftab", Kw::DefTab}, {"docvar", Kw::SkipDest},
    {"emdash", Kw::Char, 0x2014}, {"emspace", Kw::Char, 0x2003}, {"endash", Kw::Char, 0x2013},
    {"enspace", Kw::Char, 0x2002}, {"f", Kw::Font}, {"fcharset", Kw::FCharset}, {"fi", Kw::Fi},
    {"filetbl", Kw::SkipDest}, {"fldinst", Kw::SkipDest}, {"fonttbl", Kw::FontTable},
    {"footer", Kw::SkipDest}, {"footerf", Kw::SkipDest}, {"footerl", Kw::SkipDest},
    {"footerr", Kw::SkipDest}, {"footnote", Kw::SkipDest}, {"fs", Kw::FontSize},
    {"generator", Kw::SkipDest}, {"green", Kw::Green}, {"header", Kw::SkipDest},
    {"headerf", Kw::SkipDest}, {"headerl", Kw::SkipDest}, {"headerr", Kw::SkipDest},
    {"highlight", Kw::ColorBack}, {"i", Kw::Italic}, {"info", Kw::SkipDest},
    {"latentstyles", Kw::SkipDest}, {"ldblquote", Kw::Char, 0x201C}, {"li", Kw::Li},
    {"line", Kw::Char, QChar::LineSeparator}, {"listoverridetable", Kw::SkipDest},
    {"listtable", Kw::SkipDest}, {"lquote", Kw::Char, 0x2018}, {"ltrmark", Kw::Char, 0x200E},
    {"mac", Kw::Mac}, {"nestcell", Kw::Char, u'\t'}, {"nonshppict", Kw::SkipDest},
    {"nosupersub", Kw::NoSuperSub}, {"object", Kw::SkipDest}, {"page", Kw::Par},
    {"par", Kw::Par}, {"pard", Kw::Pard}, {"pc", Kw::Pc}, {"pca", Kw::Pca},
    {"pict", Kw::SkipDest}, {"plain", Kw::Plain}, {"pn", Kw::SkipDest},
    {"private", Kw::SkipDest}, {"qc", Kw::Qc}, {"qj", Kw::Qj}, {"ql", Kw::Ql},
    {"qmspace", Kw::Char, 0x2005}, {"qr", Kw::Qr}, {"rdblquote", Kw::Char, 0x201D},
    {"red", Kw::Red}, {"revtbl", Kw::SkipDest}, {"ri", Kw::Ri}, {"row", Kw::Par},
    {"rquote", Kw::Char, 0x2019}, {"rsidtbl", Kw::SkipDest}, {"rtlmark", Kw::Char, 0x200F},
    {"sa", Kw::Sa}, {"sb", Kw::Sb}, {"sect", Kw::Par}, {"shpinst", Kw::SkipDest},
    {"shppict", Kw::SkipDest}, {"strike", Kw::Strike}, {"stylesheet", Kw::SkipDest},
    {"sub", Kw::Sub}, {"super", Kw::Super}, {"tab", Kw::Char, u'\t'}, {"tc", Kw::SkipDest},
    {"template", Kw::SkipDest}, {"themedata", Kw::SkipDest}, {"u", Kw::U}, {"uc", Kw::Uc},
    {"ul", Kw::Underline}, {"uld", Kw::Underline}, {"uldash", Kw::Underline},
    {"uldashd", Kw::Underline}, {"uldashdd", Kw::Underline}, {"uldb", Kw::Underline},
    {"ulnone", Kw::UnderlineNone}, {"ulth", Kw::Underline}, {"ulw", Kw::Underline},
    {"ulwave", Kw::Underline}, {"userprops", Kw::SkipDest}, {"v", Kw::Hidden},
    {"xe", Kw::SkipDest}, {"xmlnstbl", Kw::SkipDest}, {"zwj", Kw::Char, 0x200D},
    {"zwnj", Kw::Char, 0x200C},
};
static_assert(std::is_sorted(std::begin(kKeywords), std::end(kKeywords),
                             [](const Keyword &a, const Keyword &b) { return a.name < b.name; }));

} // namespace

Keyword lookup(std::string_view name)
{
    const auto *end = std::end(kKeywords);
    const auto *it = std::lower_bound(std::begin(kKeywords), end, name,
                                      [](const Keyword &k, std::string_view n) { return k.name < n; });
    return it != end && it->name == name ? *it : Keyword{name, Kw::Unknown};
}

} // namespace rtf
