#pragma once

#include <string_view>

// The control words the RTF reader acts on.
namespace rtf {

enum class Kw {
    Unknown,
    // destinations
    FontTable, ColorTable, SkipDest,
    // document
    Ansi, Mac, Pc, Pca, AnsiCpg, Deff, DefTab,
    // font table entries
    FCharset, Cpg,
    // colour table entries
    Red, Green, Blue,
    // character formatting
    Plain, Bold, Italic, Underline, UnderlineNone, Strike, Super, Sub, NoSuperSub, Hidden,
    Font, FontSize, ColorFore, ColorBack, Uc, U, Bin,
    // paragraphs
    Pard, Par, Ql, Qc, Qr, Qj, Li, Ri, Fi, Sb, Sa,
    // words that stand for one character
    Char,
};

struct Keyword
{
    std::string_view name;
    Kw kw;
    char16_t ch = 0; // the character of a Kw::Char word
};

// The word of that name; Kw::Unknown for any other.
Keyword lookup(std::string_view name);

} // namespace rtf
