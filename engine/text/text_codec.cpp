#include "engine/text/text_codec.h"

#include "engine/text/utf.h"

namespace ostrel {
namespace {

struct Mark {
    TextEncoding encoding;
    std::string_view bytes;
};

// In the order they are looked for: UTF-32 little-endian's mark begins with UTF-16's.
constexpr Mark kMarks[] = {
    {TextEncoding::Utf8Bom, std::string_view("\xEF\xBB\xBF", 3)},
    {TextEncoding::Utf32LE, std::string_view("\xFF\xFE\0\0", 4)},
    {TextEncoding::Utf32BE, std::string_view("\0\0\xFE\xFF", 4)},
    {TextEncoding::Utf16LE, std::string_view("\xFF\xFE", 2)},
    {TextEncoding::Utf16BE, std::string_view("\xFE\xFF", 2)},
};

bool IsBigEndian(TextEncoding encoding) {
    return encoding == TextEncoding::Utf16BE || encoding == TextEncoding::Utf32BE;
}

// Appends one code unit in the encoding's width and byte order.
void AppendUnit(char32_t u, std::size_t width, bool bigEndian, std::string& out) {
    for (std::size_t k = 0; k < width; ++k) {
        const std::size_t shift = 8 * (bigEndian ? width - 1 - k : k);
        out.push_back(static_cast<char>((u >> shift) & 0xFF));
    }
}

// Where 8-bit text may be cut: after a byte below 0x40, which no code page uses as part of a
// two-byte character (spaces, digits, line ends). 0 when there is none.
std::size_t CodePageCut(std::string_view bytes) {
    for (std::size_t i = bytes.size(); i > 0; --i)
        if (static_cast<unsigned char>(bytes[i - 1]) < 0x40) return i;
    return 0;
}

}  // namespace

TextEncoding EncodingOfMark(std::string_view head, std::size_t& markBytes) {
    for (const Mark& mark : kMarks) {
        if (head.substr(0, mark.bytes.size()) == mark.bytes) {
            markBytes = mark.bytes.size();
            return mark.encoding;
        }
    }
    markBytes = 0;
    return TextEncoding::Utf8;
}

std::string_view MarkOf(TextEncoding encoding) {
    for (const Mark& mark : kMarks)
        if (mark.encoding == encoding) return mark.bytes;
    return {};
}

std::size_t UnitBytes(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE:
            return 2;
        case TextEncoding::Utf32LE:
        case TextEncoding::Utf32BE:
            return 4;
        default:
            return 1;
    }
}

UnitDecoder::UnitDecoder(TextEncoding encoding)
    : width_(UnitBytes(encoding)), bigEndian_(IsBigEndian(encoding)) {}

std::size_t UnitDecoder::Decode(std::string_view bytes, std::string& out) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    for (; i + width_ <= n; i += width_) {
        char32_t u = 0;
        for (std::size_t k = 0; k < width_; ++k)
            u |= char32_t{s[i + k]} << (8 * (bigEndian_ ? width_ - 1 - k : k));
        if (width_ == 4) {
            if (u > 0x10FFFF) {
                badUnit_ = true;
                return i;
            }
            AppendUtf8(u, out);  // a surrogate stays as it is, so that it is written back so
            continue;
        }
        if (highSurrogate_) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                AppendUtf8(0x10000 + ((char32_t{highSurrogate_} - 0xD800) << 10) + (u - 0xDC00),
                           out);
                highSurrogate_ = 0;
                continue;
            }
            AppendUtf8(highSurrogate_, out);  // unpaired: kept alone, written back alone
            highSurrogate_ = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            highSurrogate_ = static_cast<char16_t>(u);
        else
            AppendUtf8(u, out);
    }
    return i;
}

void UnitDecoder::Finish(std::string& out) {
    if (highSurrogate_) AppendUtf8(highSurrogate_, out);
    highSurrogate_ = 0;
}

std::size_t DecodeCodePage(std::string_view bytes, bool atEnd, const CodePage& codePage,
                           std::string& scratch, std::string& out) {
    // A run this long with no space or line end in it is no phrase; it need not wait for the
    // rest of its character.
    constexpr std::size_t kLongestUncut = std::size_t{64} << 10;
    std::size_t cut = atEnd ? bytes.size() : CodePageCut(bytes);
    if (cut == 0 && bytes.size() >= kLongestUncut) cut = bytes.size();
    if (cut == 0) return 0;
    codePage.ToUtf8(bytes.substr(0, cut), scratch);
    out.append(scratch);
    return cut;
}

bool EncodeText(std::string_view utf8, TextEncoding encoding, const CodePage& codePage,
                std::string& out) {
    switch (encoding) {
        case TextEncoding::Utf8:
        case TextEncoding::Utf8Bom:
            out.assign(utf8);
            return true;
        case TextEncoding::Ansi:
            return codePage.FromUtf8(utf8, out);
        default:
            break;
    }
    const std::size_t width = UnitBytes(encoding);
    const bool big = IsBigEndian(encoding);
    out.clear();
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c;
        if (!DecodeUtf8(utf8, i, c)) c = static_cast<unsigned char>(utf8[i++]);
        if (width == 2 && c >= 0x10000) {
            c -= 0x10000;
            AppendUnit(0xD800 | (c >> 10), width, big, out);
            AppendUnit(0xDC00 | (c & 0x3FF), width, big, out);
        } else {
            AppendUnit(c, width, big, out);
        }
    }
    return true;
}

std::string_view LineEndIn(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf16LE:
            return std::string_view("\r\0\n\0", 4);
        case TextEncoding::Utf16BE:
            return std::string_view("\0\r\0\n", 4);
        case TextEncoding::Utf32LE:
            return std::string_view("\r\0\0\0\n\0\0\0", 8);
        case TextEncoding::Utf32BE:
            return std::string_view("\0\0\0\r\0\0\0\n", 8);
        default:
            return "\r\n";
    }
}

}  // namespace ostrel
