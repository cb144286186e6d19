#include "escpos_decode.h"

#include <cstdio>

namespace {

std::string Mark(const char *format, int a = 0, int b = 0)
{
    char text[64];
    std::snprintf(text, sizeof(text), format, a, b);
    return std::string("[") + text + "]";
}

const char *Symbology(int m)
{
    switch (m) {
    case 0: case 65: return "UPC-A";
    case 1: case 66: return "UPC-E";
    case 2: case 67: return "EAN13";
    case 3: case 68: return "EAN8";
    case 4: case 69: return "CODE39";
    case 5: case 70: return "ITF";
    case 6: case 71: return "CODABAR";
    case 72: return "CODE93";
    case 73: return "CODE128";
    default: return "?";
    }
}

} // namespace

std::string DecodeEscPos(const std::string &bytes)
{
    std::string out;
    size_t i = 0;
    const size_t n = bytes.size();
    auto at = [&](size_t k) -> int { return k < n ? static_cast<unsigned char>(bytes[k]) : -1; };

    // What the service object sends for every line feed: feed, then reset mode and underline.
    static const std::string lineFeed("\x1b\x4a\x18\x1b\x4a\x00\x1b\x21\x00\x1b\x2d\x00", 12);

    while (i < n) {
        int c = at(i);
        if (bytes.compare(i, lineFeed.size(), lineFeed) == 0) {
            out += "\n";
            i += lineFeed.size();
        } else if (c == 0x0A) {
            out += "\n";
            ++i;
        } else if (c == 0x0D) {
            ++i;
        } else if (c == 0x1B && i + 1 < n) {
            int cmd = at(i + 1);
            int p = at(i + 2);
            switch (cmd) {
            case '@': out += "[init]"; i += 2; break;
            case 'a': out += p == 1 ? "[center]" : p == 2 ? "[right]" : "[left]"; i += 3; break;
            case 'E': out += p & 1 ? "[bold]" : "[/bold]"; i += 3; break;
            case '-': out += p ? Mark("underline %d", p) : "[/underline]"; i += 3; break;
            case '!': {
                // ESC ! n: font B, emphasized, double height, double width, underline.
                std::string m;
                if (p & 0x01) m += "[font B]";
                if (p & 0x08) m += "[bold]";
                if (p & 0x10) m += "[tall]";
                if (p & 0x20) m += "[wide]";
                if (p & 0x80) m += "[underline]";
                out += p <= 0 ? "[plain]" : m.empty() ? Mark("mode %02x", p) : m;
                i += 3;
                break;
            }
            case 'J': out += Mark("feed %d dots", p); i += 3; break;
            case 'd': out += Mark("feed %d lines", p); i += 3; break;
            case 'M': out += Mark("font %d", p); i += 3; break;
            case '{': out += p & 1 ? "[upside-down]" : "[/upside-down]"; i += 3; break;
            case 't': out += Mark("code table %d", p); i += 3; break;
            case '=': out += Mark("select %d", p); i += 3; break;
            case 'R': out += Mark("character set %d", p); i += 3; break;
            case '3': out += Mark("line spacing %d", p); i += 3; break;
            case 'p': out += "[drawer pulse]"; i += 5; break;
            default: out += Mark("ESC %02x", cmd); i += 2; break;
            }
        } else if (c == 0x1D && i + 1 < n) {
            int cmd = at(i + 1);
            int p = at(i + 2);
            switch (cmd) {
            case '!':
                out += p ? Mark("size %dx%d", ((p >> 4) & 7) + 1, (p & 7) + 1) : "[/size]";
                i += 3;
                break;
            case 'V':
                out += p == 0 || p == 48 ? "[cut]" : "[partial cut]";
                i += (p == 65 || p == 66) ? 4 : 3;
                break;
            case 'a': out += Mark("status back %02x", p); i += 3; break;
            case 'h': out += Mark("barcode height %d", p); i += 3; break;
            case 'w': out += Mark("barcode width %d", p); i += 3; break;
            case 'H': out += Mark("hri %d", p); i += 3; break;
            case 'B': out += p ? "[reverse]" : "[/reverse]"; i += 3; break;
            case 'L': out += Mark("left margin %d", p + 256 * (at(i + 3) < 0 ? 0 : at(i + 3))); i += 4; break;
            case 'k': {
                size_t start, end;
                if (p >= 0 && p <= 6) {            // NUL-terminated data
                    start = i + 3;
                    end = start;
                    while (end < n && bytes[end] != '\0')
                        ++end;
                    i = end + 1;
                } else {                           // length-prefixed data
                    int len = at(i + 3) < 0 ? 0 : at(i + 3);
                    start = i + 4;
                    end = start + len < n ? start + len : n;
                    i = end;
                }
                out += std::string("[barcode ") + Symbology(p) + " \"" + bytes.substr(start, end - start) + "\"]";
                break;
            }
            default: out += Mark("GS %02x", cmd); i += 2; break;
            }
        } else if (c < 0x20) {
            out += Mark("%02x", c);
            ++i;
        } else {
            out.push_back(static_cast<char>(c));
            ++i;
        }
    }
    return out;
}
