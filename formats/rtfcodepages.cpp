#include "formats/rtfcodepages.h"

namespace rtf {

// Code pages that may be asked for, with the names Qt's converters know them by. Only these
// are ever looked up, so a file naming thousands of code pages costs no converter lookups.
const char *codecName(int codePage)
{
    struct Entry
    {
        int codePage;
        const char *name;
    };
    static constexpr Entry table[] = {
        {437, "IBM437"}, {708, "ISO-8859-6"}, {720, "ibm-720"}, {737, "ibm-737"},
        {775, "ibm-775"}, {850, "IBM850"}, {852, "IBM852"}, {855, "IBM855"}, {857, "IBM857"},
        {860, "IBM860"}, {861, "IBM861"}, {862, "IBM862"}, {863, "IBM863"}, {864, "IBM864"},
        {865, "IBM865"}, {866, "IBM866"}, {869, "IBM869"}, {874, "windows-874"},
        {932, "Shift_JIS"}, {936, "GBK"}, {949, "windows-949"}, {950, "Big5"},
        {1250, "windows-1250"}, {1251, "windows-1251"}, {1252, "windows-1252"},
        {1253, "windows-1253"}, {1254, "windows-1254"}, {1255, "windows-1255"},
        {1256, "windows-1256"}, {1257, "windows-1257"}, {1258, "windows-1258"},
        {10000, "macintosh"}, {10006, "x-mac-greek"}, {10007, "x-mac-cyrillic"},
        {10029, "x-mac-centraleurope"}, {10081, "x-mac-turkish"}, {20866, "KOI8-R"},
        {21866, "KOI8-U"}, {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"}, {28595, "ISO-8859-5"},
        {28597, "ISO-8859-7"}, {28605, "ISO-8859-15"}, {65001, "UTF-8"},
    };
    for (const Entry &e : table) {
        if (e.codePage == codePage)
            return e.name;
    }
    return nullptr;
}

int codePageOfCharset(int charset)
{
    switch (charset) {
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    default: return 0;
    }
}

} // namespace rtf
