#include "case_fold.h"

namespace ostrel {

char32_t FoldCodePoint(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c < 0x100) return (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? c + 32 : c;
    if (c < 0x180) {  // Latin Extended-A: pairs of capital and small letter
        if (c == 0x130) return 'i';
        if (c == 0x178) return 0xFF;
        if ((c <= 0x12F || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && c % 2 == 0)
            return c + 1;
        if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && c % 2 == 1) return c + 1;
        return c;
    }
    if (c >= 0x370 && c < 0x400) {  // Greek and Coptic
        if (c == 0x370 || c == 0x372 || c == 0x376) return c + 1;
        if (c == 0x37F) return 0x3F3;
        if (c == 0x386) return 0x3AC;
        if (c >= 0x388 && c <= 0x38A) return c + 0x25;
        if (c == 0x38C) return 0x3CC;
        if (c == 0x38E || c == 0x38F) return c + 0x3F;
        if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return c + 0x20;
        if (c == 0x3CF) return 0x3D7;
        if (c >= 0x3D8 && c <= 0x3EF && c % 2 == 0) return c + 1;
        if (c == 0x3F4) return 0x3B8;
        if (c == 0x3F7 || c == 0x3FA) return c + 1;
        if (c == 0x3F9) return 0x3F2;
        if (c >= 0x3FD) return c - 0x82;  // 0x3FD..0x3FF -> 0x37B..0x37D
        return c;
    }
    if (c >= 0x400 && c < 0x530) {  // Cyrillic and its supplement
        if (c < 0x410) return c + 0x50;
        if (c < 0x430) return c + 0x20;
        if (c == 0x4C0) return 0x4CF;
        if (c >= 0x4C1 && c <= 0x4CE) return c % 2 == 1 ? c + 1 : c;
        if (((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0) && c % 2 == 0)
            return c + 1;
        return c;
    }
    return c;
}

std::size_t FoldUtf8(std::string_view text, char* out) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0, o = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            out[o++] = static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
            ++i;
            continue;
        }
        // Every letter that folds lies below U+0800, so only two-byte sequences can change.
        if (b >= 0xC2 && b <= 0xDF && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
            const char32_t c = (char32_t(b & 0x1F) << 6) | (s[i + 1] & 0x3F);
            const char32_t f = FoldCodePoint(c);
            if (f < 0x80) {
                out[o++] = static_cast<char>(f);
            } else {
                out[o++] = static_cast<char>(0xC0 | (f >> 6));
                out[o++] = static_cast<char>(0x80 | (f & 0x3F));
            }
            i += 2;
            continue;
        }
        out[o++] = static_cast<char>(b);
        ++i;
    }
    return o;
}

void FoldUtf8(std::string_view text, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + text.size());
    out.resize(start + FoldUtf8(text, out.data() + start));
}

std::size_t CountCharacters(std::string_view text) {
    std::size_t count = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        std::size_t len = 1;
        if (b >= 0xC2 && b <= 0xDF)
            len = 2;
        else if (b >= 0xE0 && b <= 0xEF)
            len = 3;
        else if (b >= 0xF0 && b <= 0xF4)
            len = 4;
        std::size_t k = 1;
        while (k < len && i + k < n && (s[i + k] & 0xC0) == 0x80) ++k;
        i += k;  // an incomplete sequence counts as one character per byte taken
        ++count;
    }
    return count;
}

}  // namespace ostrel
