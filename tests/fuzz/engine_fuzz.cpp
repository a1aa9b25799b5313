// Differential fuzz target: the input bytes are a keyword list. The real engine opens it and
// saves the result through a headless window; a small reference model written here says what
// must come out. Both must agree on the two counts and on the saved bytes, or both must refuse
// the list (one error message, the previous result left in force). Any disagreement aborts.
//
// The model's rules:
// - Encoding: a byte-order mark says what the file is: EF BB BF UTF-8, FF FE 00 00 UTF-32LE
//   (not UTF-16LE starting with a NUL), 00 00 FE FF UTF-32BE, FF FE UTF-16LE, FE FF UTF-16BE.
//   Without one, valid UTF-8 is UTF-8 and anything else is Windows-1252.
// - Lines end at CR, CR LF or LF; a last line with no line end counts. Spaces (only) are trimmed
//   from both ends, however many; a line left empty is skipped but still has a line number.
// - A trimmed line of more than 100 characters refuses the list, naming its line number,
//   whatever spaces lie inside it. A UTF-16 file with an odd number of bytes after its mark, or
//   a UTF-32 file whose length after its mark is no multiple of four, is refused too (the
//   message names the encoding), after the lines before its end: a too-long line comes first.
// - UTF-32 holds one character a unit. A unit above U+10FFFF is no character: it refuses the
//   list (the message names UTF-32) unless a too-long line ends before it; when it lies inside
//   a too-long line, either refusal will do.
// - Letter case is ignored the one-to-one way for ASCII, Latin-1, Latin Extended-A, Greek and
//   Cyrillic; the first spelling of a phrase is kept; the result is in code point order of the
//   folded text; each phrase is written back with CR LF in the file's encoding, mark included.
// - What a valid text cannot hold is kept as it is, never replaced: unpaired UTF-16 surrogates
//   and surrogate units of UTF-32 stay code points of their own; in a file marked UTF-8, each
//   byte that is part of no character is a character of its own, as the code page would read
//   it, except the three bytes of a surrogate, which make one as an unpaired UTF-16 surrogate
//   does. Such a character folds to itself and is written back byte for byte.
//
// Before it is run, an input may be reshaped (see Plan): re-encoded in another of the seven
// encodings, its runs of spaces stretched to hundreds or tens of thousands, and blank lines put
// in front so that its lines cross the end of a 64 KiB chunk or of the reader's 1 MiB block.
// Which reshaping an input gets follows from a hash of its bytes, so a finding replays.
#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "engine/collaborators.h"
#include "engine/duplicate_engine.h"
#include "engine/order/phrase_order.h"
#include "tests/engine/test_support.h"
#include "tests/fuzz/engine_fuzz.h"

namespace engine_fuzz {
const Plan* forcedPlan = nullptr;
bool keepGoing = false;
std::vector<std::string> findings;
std::uint64_t inputsRun = 0, bytesRun = 0;
}  // namespace engine_fuzz

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Reference model

enum class Enc { Utf8, Utf8Bom, Utf16LE, Utf16BE, Utf32LE, Utf32BE, Ansi };
constexpr int kEncodings = 7;
const char* const kEncodingNames[kEncodings] = {"UTF-8",    "UTF-8 BOM", "UTF-16LE", "UTF-16BE",
                                                "UTF-32LE", "UTF-32BE",  "cp1252"};

std::size_t UnitWidth(Enc enc) {
    return enc == Enc::Utf16LE || enc == Enc::Utf16BE   ? 2
           : enc == Enc::Utf32LE || enc == Enc::Utf32BE ? 4
                                                        : 1;
}
bool BigEndian(Enc enc) {
    return enc == Enc::Utf16BE || enc == Enc::Utf32BE;
}
// The code unit at byte position i (i + width within s).
char32_t UnitAt(std::string_view s, std::size_t i, Enc enc) {
    const std::size_t width = UnitWidth(enc);
    char32_t u = 0;
    for (std::size_t k = 0; k < width; ++k) {
        const auto b = static_cast<unsigned char>(s[i + (BigEndian(enc) ? k : width - 1 - k)]);
        u = (u << 8) | b;
    }
    return u;
}
void PutUnit(char32_t u, Enc enc, std::string& out) {
    out += ostrel::test::CodeUnitBytes({&u, 1}, UnitWidth(enc), BigEndian(enc));
}
std::string_view Mark(Enc enc) {
    switch (enc) {
        case Enc::Utf8Bom:
            return "\xEF\xBB\xBF";
        case Enc::Utf16LE:
            return "\xFF\xFE";
        case Enc::Utf16BE:
            return "\xFE\xFF";
        case Enc::Utf32LE:
            return std::string_view("\xFF\xFE\0\0", 4);
        case Enc::Utf32BE:
            return std::string_view("\0\0\xFE\xFF", 4);
        default:
            return {};
    }
}

// The encoding the model reads the bytes in, and the length of their mark.
Enc Detect(std::string_view bytes, std::size_t& skip);

// One character of a line: a code point, or the bytes of a malformed sequence.
struct Char {
    char32_t cp = 0;
    unsigned char rawLength = 0;  // non-zero: a malformed sequence of these bytes, kept as it is
    char raw[4] = {};
    bool Malformed() const { return rawLength != 0; }
    std::string_view Raw() const { return {raw, rawLength}; }
};
using Line = std::vector<Char>;

// Windows-1252 bytes 0x80..0x9F; the five it leaves undefined stand for the C1 control of the
// same value.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

char32_t FromCp1252(unsigned char b) {
    return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b;
}

unsigned char ToCp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c < 0x100)) return static_cast<unsigned char>(c);
    for (unsigned i = 0; i < 32; ++i)
        if (kCp1252High[i] == c) return static_cast<unsigned char>(0x80 + i);
    std::fprintf(stderr, "model: U+%04X has no Windows-1252 form\n", static_cast<unsigned>(c));
    std::abort();
}

void PutUtf8(char32_t c, std::string& out) {  // surrogate code points too
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length a UTF-8 lead byte announces and the range its second byte must lie in; 0 when the
// byte starts no character.
int LeadLength(unsigned char b, unsigned char& lo, unsigned char& hi) {
    lo = 0x80, hi = 0xBF;
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) return 2;
    if (b == 0xE0) return lo = 0xA0, 3;
    if (b == 0xED) return hi = 0x9F, 3;
    if (b >= 0xE1 && b <= 0xEF) return 3;
    if (b == 0xF0) return lo = 0x90, 4;
    if (b == 0xF4) return hi = 0x8F, 4;
    if (b >= 0xF1 && b <= 0xF3) return 4;
    return 0;
}

bool IsContinuation(unsigned char b) {
    return b >= 0x80 && b <= 0xBF;
}

// Decodes UTF-8 text; a malformed sequence becomes one character holding its bytes.
Line DecodeUtf8(std::string_view s) {
    Line line;
    line.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        unsigned char lo, hi;
        const int len = LeadLength(b, lo, hi);
        bool ok = len > 0 && i + static_cast<std::size_t>(len) <= s.size();
        char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; ok && k < len; ++k) {
            const auto t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            ok = k == 1 ? (t >= lo && t <= hi) : IsContinuation(t);
            c = (c << 6) | (t & 0x3F);
        }
        Char ch;
        if (ok) {
            ch.cp = c;
            i += static_cast<std::size_t>(len);
        } else {
            // A surrogate (ED A0..BF 80..BF) is three bytes; any other byte stands alone.
            const bool surrogate = b == 0xED && i + 2 < s.size() &&
                                   static_cast<unsigned char>(s[i + 1]) >= 0xA0 &&
                                   IsContinuation(static_cast<unsigned char>(s[i + 1])) &&
                                   IsContinuation(static_cast<unsigned char>(s[i + 2]));
            const std::size_t k = surrogate ? 3 : 1;
            for (std::size_t j = 0; j < k; ++j) ch.raw[j] = s[i + j];
            ch.rawLength = static_cast<unsigned char>(k);
            i += k;
        }
        line.push_back(std::move(ch));
    }
    return line;
}

// Where the first character that is not valid UTF-8 starts, or the size.
std::size_t ValidUtf8Prefix(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char lo, hi;
        const int len = LeadLength(static_cast<unsigned char>(s[i]), lo, hi);
        if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) return i;
        for (int k = 1; k < len; ++k) {
            const auto t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if (k == 1 ? (t < lo || t > hi) : !IsContinuation(t)) return i;
        }
        i += static_cast<std::size_t>(len);
    }
    return i;
}

bool ValidUtf8(std::string_view s) {
    return ValidUtf8Prefix(s) == s.size();
}

// Splits units into lines at CR, CR LF and LF.
template <typename Unit>
std::vector<std::basic_string_view<Unit>> SplitLines(std::basic_string_view<Unit> units) {
    std::vector<std::basic_string_view<Unit>> lines;
    std::size_t start = 0, i = 0;
    while (i < units.size()) {
        const Unit u = units[i++];
        if (u == Unit('\r') || u == Unit('\n')) {
            lines.push_back(units.substr(start, i - 1 - start));
            if (u == Unit('\r') && i < units.size() && units[i] == Unit('\n')) ++i;
            start = i;
        }
    }
    if (start < units.size()) lines.push_back(units.substr(start));
    return lines;
}

// A space is one byte or one unit in every encoding here, and part of no other character.
template <typename Unit>
std::basic_string_view<Unit> TrimSpaces(std::basic_string_view<Unit> s) {
    while (!s.empty() && s.front() == Unit(' ')) s.remove_prefix(1);
    while (!s.empty() && s.back() == Unit(' ')) s.remove_suffix(1);
    return s;
}

Line DecodeCp1252(std::string_view s) {
    Line line;
    line.reserve(s.size());
    for (char b : s) line.push_back(Char{FromCp1252(static_cast<unsigned char>(b))});
    return line;
}

// Pairs of surrogates make one character; a surrogate without its partner stays as it is.
Line DecodeUtf16(std::u16string_view u) {
    Line line;
    line.reserve(u.size());
    for (std::size_t i = 0; i < u.size(); ++i) {
        Char ch;
        ch.cp = u[i];
        if (u[i] >= 0xD800 && u[i] <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 &&
            u[i + 1] <= 0xDFFF) {
            ch.cp = 0x10000 + ((char32_t(u[i]) - 0xD800) << 10) + (u[i + 1] - 0xDC00);
            ++i;
        }
        line.push_back(ch);
    }
    return line;
}

char32_t FoldRef(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x100 && c < 0x530) return ostrel::FoldCodePoint(c);  // checked in CheckFold below
    return c;
}

// The bytes a folded text compares by: UTF-8 keeps code point order byte for byte, and a
// malformed sequence compares as its own bytes.
std::string SortKey(const Line& line) {
    std::string key;
    for (const Char& c : line) {
        if (c.Malformed())
            key += c.Raw();
        else
            PutUtf8(FoldRef(c.cp), key);
    }
    return key;
}

void Encode(const Line& line, Enc enc, std::string& out) {
    for (const Char& c : line) {
        if (c.Malformed()) {
            out += c.Raw();
            continue;
        }
        if (enc == Enc::Utf8 || enc == Enc::Utf8Bom) {
            PutUtf8(c.cp, out);
        } else if (enc == Enc::Ansi) {
            out += static_cast<char>(ToCp1252(c.cp));
        } else if (enc == Enc::Utf32LE || enc == Enc::Utf32BE) {
            PutUnit(c.cp, enc, out);
        } else if (c.cp >= 0x10000) {
            PutUnit(0xD800 + ((c.cp - 0x10000) >> 10), enc, out);
            PutUnit(0xDC00 + ((c.cp - 0x10000) & 0x3FF), enc, out);
        } else {
            PutUnit(c.cp, enc, out);
        }
    }
}

struct Expected {
    bool refused = false;
    std::uint64_t tooLongLine = 0;         // refused for this line (0: none)
    std::uint64_t utf8TooLongLine = 0;     // or this one, too long as read as UTF-8 (0: none)
    const char* encodingReason = nullptr;  // or for the file's encoding: the message names it
    bool eitherReason = false;             // either of the two will do
    std::uint64_t actual = 0, final = 0;
    std::string saved;
    // Facts about the input, for the summary of findings.
    Enc enc = Enc::Utf8;
    bool innerSpacesOverLimit = false;  // a trimmed line over the limit holds spaces
};

Enc Detect(std::string_view bytes, std::size_t& skip) {
    auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    for (Enc enc : {Enc::Utf8Bom, Enc::Utf32LE, Enc::Utf32BE, Enc::Utf16LE, Enc::Utf16BE}) {
        if (starts(Mark(enc))) {
            skip = Mark(enc).size();
            return enc;
        }
    }
    skip = 0;
    return ValidUtf8(bytes) ? Enc::Utf8 : Enc::Ansi;
}

Expected Model(std::string_view bytes) {
    std::size_t skip = 0;
    const Enc enc = Detect(bytes, skip);
    const std::string_view body = bytes.substr(skip);

    // Every line, trimmed and decoded; a blank line is left empty.
    std::vector<Line> lines;
    std::vector<std::size_t> lineEnds;              // in units, where each line's text ends
    std::size_t noCharacterAt = std::string::npos;  // a UTF-32 unit that is no character
    const char* brokenEnd = nullptr;                // a last unit cut short: the encoding's name
    Expected e;
    e.enc = enc;
    if (enc == Enc::Utf16LE || enc == Enc::Utf16BE) {
        if (body.size() % 2 != 0) brokenEnd = "UTF-16";
        std::u16string units;
        for (std::size_t i = 0; i + 1 < body.size(); i += 2)
            units.push_back(static_cast<char16_t>(UnitAt(body, i, enc)));
        for (const std::u16string_view u : SplitLines(std::u16string_view(units)))
            lines.push_back(DecodeUtf16(TrimSpaces(u)));
    } else if (enc == Enc::Utf32LE || enc == Enc::Utf32BE) {
        if (body.size() % 4 != 0) brokenEnd = "UTF-32";
        std::u32string units;
        for (std::size_t i = 0; i + 3 < body.size(); i += 4) {
            units.push_back(UnitAt(body, i, enc));
            if (units.back() > 0x10FFFF && noCharacterAt == std::string::npos)
                noCharacterAt = units.size() - 1;
        }
        for (const std::u32string_view u : SplitLines(std::u32string_view(units))) {
            Line line;
            for (char32_t c : TrimSpaces(u)) line.push_back(Char{c});
            lines.push_back(std::move(line));
            lineEnds.push_back(static_cast<std::size_t>(u.data() - units.data()) + u.size());
        }
    } else {
        // A list found not to be UTF-8 was read as UTF-8 up to that byte: a line too long as
        // read so may be the one named, as the code page's reading may name an earlier one.
        const std::size_t invalid = ValidUtf8Prefix(body);
        for (const std::string_view s : SplitLines(body)) {
            const std::size_t at = static_cast<std::size_t>(s.data() - body.data());
            if (enc == Enc::Ansi && e.utf8TooLongLine == 0 && at < invalid &&
                DecodeUtf8(TrimSpaces(s.substr(0, invalid - at))).size() > 100)
                e.utf8TooLongLine = lines.size() + 1;
            lines.push_back(enc == Enc::Ansi ? DecodeCp1252(TrimSpaces(s))
                                             : DecodeUtf8(TrimSpaces(s)));
        }
    }

    std::map<std::string, Line> unique;  // by sort key: the first spelling of each phrase
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const Line& line = lines[n];
        // Past a unit that is no character nothing more is read.
        if (noCharacterAt != std::string::npos && n > 0 && lineEnds[n - 1] > noCharacterAt) break;
        if (line.empty()) continue;
        if (line.size() > 100) {
            e.refused = true;
            e.tooLongLine = n + 1;
            for (const Char& c : line) e.innerSpacesOverLimit |= !c.Malformed() && c.cp == ' ';
            if (noCharacterAt != std::string::npos && lineEnds[n] > noCharacterAt) {
                e.encodingReason = "UTF-32";
                e.eitherReason = true;
            }
            return e;
        }
        ++e.actual;
        unique.emplace(SortKey(line), line);
    }
    if (noCharacterAt != std::string::npos || brokenEnd) {
        e.refused = true;
        e.encodingReason = brokenEnd ? brokenEnd : "UTF-32";
        return e;
    }
    e.final = unique.size();
    e.saved = Mark(enc);
    const Line crlf{Char{'\r'}, Char{'\n'}};
    for (const auto& [key, line] : unique) {
        Encode(line, enc, e.saved);
        Encode(crlf, enc, e.saved);
    }
    return e;
}

// FoldCodePoint serves the model above Latin-1; it is checked here against capital and small
// pairs written out independently, and against the C library's lower case where a UTF-8 locale
// is at hand.
void CheckFold() {
    static const char32_t pairs[][2] = {
        {0x100, 0x101},   {0x12E, 0x12F},   {0x130, 'i'},      {0x131, 0x131}, {0x132, 0x133},
        {0x138, 0x138},   {0x139, 0x13A},   {0x13F, 0x140},    {0x141, 0x142}, {0x147, 0x148},
        {0x149, 0x149},   {0x14A, 0x14B},   {0x152, 0x153},    {0x160, 0x161}, {0x178, 0xFF},
        {0x179, 0x17A},   {0x17D, 0x17E},   {0x17F, 0x17F},    {0x180, 0x180}, {0x181, 0x181},
        {0x1E9E, 0x1E9E}, {0x212A, 0x212A}, {0x386, 0x3AC},    {0x388, 0x3AD}, {0x38C, 0x3CC},
        {0x38F, 0x3CE},   {0x391, 0x3B1},   {0x3A3, 0x3C3},    {0x3A2, 0x3A2}, {0x3C2, 0x3C2},
        {0x3A9, 0x3C9},   {0x3AB, 0x3CB},   {0x3D2, 0x3D2},    {0x3DA, 0x3DB}, {0x3F4, 0x3B8},
        {0x400, 0x450},   {0x40F, 0x45F},   {0x410, 0x430},    {0x42F, 0x44F}, {0x430, 0x430},
        {0x460, 0x461},   {0x4C0, 0x4CF},   {0x4C1, 0x4C2},    {0x4D0, 0x4D1}, {0x500, 0x501},
        {0x52E, 0x52F},   {0x531, 0x531},   {0x10400, 0x10400}};
    for (const auto& p : pairs)
        if (ostrel::FoldCodePoint(p[0]) != p[1]) {
            std::fprintf(stderr, "FoldCodePoint(U+%04X) is U+%04X, not U+%04X\n",
                         static_cast<unsigned>(p[0]),
                         static_cast<unsigned>(ostrel::FoldCodePoint(p[0])),
                         static_cast<unsigned>(p[1]));
            std::abort();
        }
    const std::string previous = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, "C.UTF-8") || std::setlocale(LC_CTYPE, "en_US.UTF-8")) {
        for (char32_t c = 0x100; c < 0x530; ++c) {
            // Latin Extended-B and the phonetic blocks between do not fold.
            const bool folds = c < 0x180 || c >= 0x370;
            const auto lower =
                folds ? static_cast<char32_t>(std::towlower(static_cast<wint_t>(c))) : c;
            if (ostrel::FoldCodePoint(c) != lower) {
                std::fprintf(stderr, "FoldCodePoint(U+%04X) is U+%04X; the lower case is U+%04X\n",
                             static_cast<unsigned>(c),
                             static_cast<unsigned>(ostrel::FoldCodePoint(c)),
                             static_cast<unsigned>(lower));
                std::abort();
            }
        }
    }
    std::setlocale(LC_CTYPE, previous.c_str());
}

// ---------------------------------------------------------------------------------------------
// The engine, headless

class HeadlessUi final : public ostrel::Collaborators {
  public:
    std::string next;  // what the next file dialog answers
    std::string fileName;
    float progress = 0;
    bool progressVisible = false;
    bool dragged = false;
    std::string actualCaption, finalCaption;
    std::vector<std::string> messages;

    void ShowOpen() override { fileName = next; }
    void ShowSave() override { fileName = next; }
    std::string FileName() override { return fileName; }
    float ProgressValue() override { return progress; }
    void SetProgressValue(float v) override { progress = v; }
    void SetProgressMin(float) override {}
    void SetProgressMax(float) override {}
    void SetProgressVisible(bool v) override { progressVisible = v; }
    void SetActualRowCountCaption(std::string_view c) override { actualCaption = c; }
    void SetFinalRowCountCaption(std::string_view c) override { finalCaption = c; }
    void SetSaveEnabled(bool) override {}
    void SetSaveOpenEnabled(bool) override {}
    void DragWindow() override { dragged = true; }
    void ShowMessage(std::string_view text, ostrel::MessageIcon, std::string_view) override {
        messages.emplace_back(text);
    }
    bool AskYesNo(std::string_view) override { return true; }
    void StartProgram(std::string_view, int) override {}
};

struct Scratch {
    fs::path dir;
    std::string base, in, out;  // UTF-8 paths

    Scratch() {
        std::random_device rd;
        dir = fs::temp_directory_path() /
              ("ostrel_fuzz_" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(dir);
        base = Utf8(dir / "previous.txt");
        in = Utf8(dir / "list.txt");
        out = Utf8(dir / "result.txt");
        Write(base, "Previous\r\n");
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    static std::string Utf8(const fs::path& p) {
        const std::u8string s = p.u8string();
        return std::string(s.begin(), s.end());
    }
    static fs::path Native(const std::string& utf8) {
        return fs::path(std::u8string(utf8.begin(), utf8.end()));
    }
    static void Write(const std::string& path, std::string_view bytes) {
        std::ofstream f(Native(path), std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!f) std::abort();
    }
    static std::string Read(const std::string& path) {
        std::ifstream f(Native(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
};

bool InCp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c < 0x100)) return true;
    for (char32_t high : kCp1252High)
        if (high == c) return true;
    return false;
}

// The whole text after the mark, line ends included, as characters; nothing when they would
// not give the same text back (malformed UTF-8, a unit cut short, a unit that is no character).
std::optional<Line> DecodeWhole(std::string_view body, Enc enc) {
    const std::size_t width = UnitWidth(enc);
    if (body.size() % width != 0) return std::nullopt;
    if (enc == Enc::Ansi) return DecodeCp1252(body);
    if (width == 1) {
        Line line = DecodeUtf8(body);
        for (const Char& c : line)
            if (c.Malformed()) return std::nullopt;
        return line;
    }
    if (width == 2) {
        std::u16string units;
        for (std::size_t i = 0; i < body.size(); i += 2)
            units.push_back(static_cast<char16_t>(UnitAt(body, i, enc)));
        return DecodeUtf16(units);
    }
    Line line;
    for (std::size_t i = 0; i < body.size(); i += 4) {
        const char32_t u = UnitAt(body, i, enc);
        if (u > 0x10FFFF) return std::nullopt;
        line.push_back(Char{u});
    }
    return line;
}

// The reshaped input. Units are those of the input's encoding once re-encoded; a unit cut
// short at the end stays as it is.
std::string Reshape(std::string_view input, const engine_fuzz::Plan& plan) {
    std::size_t skip = 0;
    Enc enc = Detect(input, skip);
    std::string body(input.substr(skip));
    if (plan.encoding >= 0 && plan.encoding < kEncodings &&
        static_cast<Enc>(plan.encoding) != enc) {
        const Enc target = static_cast<Enc>(plan.encoding);
        const std::optional<Line> text = DecodeWhole(body, enc);
        bool fits = text.has_value();
        if (fits && target == Enc::Ansi)
            for (const Char& c : *text) fits = fits && InCp1252(c.cp);
        if (fits) {
            body.clear();
            Encode(*text, target, body);
            enc = target;
        }
    }
    const std::size_t width = UnitWidth(enc);
    const std::size_t whole = body.size() / width * width;
    if (plan.stretchTo != 0) {
        // Runs long enough to stretch, and how long they may grow so that the input stays
        // within a few MiB.
        std::size_t runs = 0;
        for (std::size_t i = 0; i < whole;) {
            std::size_t j = i;
            while (j < whole && UnitAt(body, j, enc) == ' ') j += width;
            if ((j - i) / width >= plan.stretchFrom) ++runs;
            i = j == i ? i + width : j;
        }
        constexpr std::size_t kMostBytes = std::size_t{3} << 20;
        const std::size_t length =
            runs == 0
                ? 0
                : std::max<std::size_t>(std::min(plan.stretchTo, kMostBytes / (runs * width)), 101);
        std::string out;
        for (std::size_t i = 0; i < whole;) {
            std::size_t j = i;
            while (j < whole && UnitAt(body, j, enc) == ' ') j += width;
            if (j == i) {
                out.append(body, i, width);
                i += width;
                continue;
            }
            const std::size_t run = (j - i) / width;
            for (std::size_t k = 0, n = run >= plan.stretchFrom ? length : run; k < n; ++k)
                PutUnit(' ', enc, out);
            i = j;
        }
        out.append(body, whole);
        body = std::move(out);
    }
    std::string out(Mark(enc));
    const std::size_t padding = plan.padUnits + plan.padBytes / width;
    out.reserve(out.size() + padding * width + body.size());
    // Lines of 99 spaces, the last one shorter, each ended by LF.
    for (std::size_t n = 1; n <= padding; ++n)
        PutUnit(n % 100 == 0 || n == padding ? '\n' : ' ', enc, out);
    out += body;
    return out;
}

std::string Printable(std::string_view s, std::size_t limit = 600) {
    std::string out;
    std::size_t i = 0;
    for (; i < s.size() && out.size() < limit;) {
        // A run of one repeated byte, pair or quad is shown by its length.
        bool shown = false;
        for (std::size_t width : {1, 2, 4}) {
            std::size_t j = i + width;
            while (j + width <= s.size() && s.compare(j, width, s, i, width) == 0) j += width;
            if ((j - i) / width >= 16) {
                out += "{" + std::to_string((j - i) / width) + " x \"" +
                       Printable(s.substr(i, width)) + "\"}";
                i = j;
                shown = true;
                break;
            }
        }
        if (shown) continue;
        const auto b = static_cast<unsigned char>(s[i++]);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += static_cast<char>(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    if (i < s.size()) out += "...";
    return out;
}

struct Disagreement {};

// What the current run is about, for the report of a disagreement.
struct Current {
    std::string_view original, input;
    const engine_fuzz::Plan* plan = nullptr;
    const Expected* expected = nullptr;
    std::uint64_t budget = 0;  // the engine's memory budget; 0: its own
} g_current;

[[noreturn]] void Disagree(const char* kind, const std::string& what) {
    const Current& c = g_current;
    std::fprintf(stderr, "\nengine and model disagree: %s\n", what.c_str());
    if (c.budget != 0)
        std::fprintf(stderr, "with a memory budget of %llu bytes, in sorted runs on disk\n",
                     static_cast<unsigned long long>(c.budget));
    std::fprintf(stderr, "input (%zu bytes): \"%s\"\n", c.original.size(),
                 Printable(c.original).c_str());
    const std::string plan = c.plan->Describe();
    if (!plan.empty())
        std::fprintf(stderr, "reshaped (%s), %zu bytes: \"%s\"\n", plan.c_str(), c.input.size(),
                     Printable(c.input).c_str());
    if (!engine_fuzz::keepGoing) std::abort();
    std::string finding = std::string(kind) + "; " + kEncodingNames[int(c.expected->enc)];
    if (c.expected->innerSpacesOverLimit) finding += "; a line over the limit with inner spaces";
    if (c.budget != 0) finding += "; in sorted runs";
    std::fprintf(stderr, "finding: %s\n", finding.c_str());
    engine_fuzz::findings.push_back(finding);
    throw Disagreement{};
}

void RunOne(const std::string& input, Scratch& scratch) {
    Scratch::Write(scratch.in, input);
    HeadlessUi ui;
    ostrel::DuplicateEngine engine(ui);
    engine.SetMemoryBudget(g_current.budget);
    ui.next = scratch.base;
    engine.cmdOpen_Click();
    const std::string previousActual = ui.actualCaption, previousFinal = ui.finalCaption;
    if (!ui.messages.empty() || previousFinal != "Final Keyword Phrases : 1")
        Disagree("setup", "the previous list did not open");

    ui.dragged = false;
    ui.next = scratch.in;
    engine.cmdOpen_Click();
    const Expected& e = *g_current.expected;

    if (e.refused) {
        if (ui.messages.size() != 1)
            Disagree("not refused", "the list should be refused with one message, got " +
                                        std::to_string(ui.messages.size()) + " (Actual " +
                                        ui.actualCaption + ", Final " + ui.finalCaption + ")");
        const std::string& m = ui.messages[0];
        const std::string head = "Unable to open description file \r";
        std::vector<std::string> whys;  // any one will do
        for (const std::uint64_t line : {e.tooLongLine, e.utf8TooLongLine})
            if (line) whys.push_back("Line " + std::to_string(line) + " of " + scratch.in + " ");
        if (e.encodingReason && (!e.tooLongLine || e.eitherReason))
            whys.push_back(e.encodingReason);
        bool named = false;
        for (const std::string& why : whys) named = named || m.find(why) != std::string::npos;
        if (m.rfind(head, 0) != 0 || !named || m.find(scratch.in) == std::string::npos)
            Disagree("refusal message", "refusal message \"" + Printable(m) + "\" lacks \"" +
                                            whys.front() + "\"" +
                                            (whys.size() > 1 ? " or \"" + whys.back() + "\"" : ""));
        std::vector<std::string> rows;
        auto& t = *engine.rsUnique();
        for (t.MoveFirst(); !t.Eof(); t.MoveNext()) rows.emplace_back(t.Fields(0).Value());
        if (rows != std::vector<std::string>{"Previous"} || ui.actualCaption != previousActual ||
            ui.finalCaption != previousFinal || ui.dragged || ui.progressVisible)
            Disagree("previous result",
                     "a refused list did not leave the previous result in force");
        return;
    }

    if (!ui.messages.empty())
        Disagree("refused a sound list",
                 "the engine refused a sound list: \"" + Printable(ui.messages[0]) + "\"");
    if (ui.actualCaption != ostrel::ActualRowCountCaption(e.actual) ||
        ui.finalCaption != ostrel::FinalRowCountCaption(e.final) || !ui.dragged)
        Disagree("counts", "counts " + ui.actualCaption + " / " + ui.finalCaption + ", expected " +
                               std::to_string(e.actual) + " / " + std::to_string(e.final));

    ui.next = scratch.out;
    engine.cmdSave_Click();
    if (ui.messages != std::vector<std::string>{"File saved successfully"})
        Disagree("save failed", "the save failed: \"" +
                                    Printable(ui.messages.empty() ? "" : ui.messages.back()) +
                                    "\"");
    const std::string saved = Scratch::Read(scratch.out);
    if (saved != e.saved)
        Disagree("saved bytes",
                 "saved \"" + Printable(saved) + "\"\n  expected \"" + Printable(e.saved) + "\"");
}

}  // namespace

namespace engine_fuzz {

std::string Plan::Describe() const {
    std::string out;
    auto add = [&](const std::string& part) { out += (out.empty() ? "" : ", ") + part; };
    if (encoding >= 0 && encoding < kEncodings) add(std::string("in ") + kEncodingNames[encoding]);
    if (stretchTo != 0)
        add("runs of " + std::to_string(stretchFrom) + "+ spaces made " +
            std::to_string(stretchTo) + " long");
    if (padUnits != 0) add(std::to_string(padUnits) + " units of blank lines in front");
    if (padBytes != 0) add(std::to_string(padBytes) + " bytes of blank lines in front");
    return out;
}

Plan PlanFor(std::string_view input) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char b : input) hash = (hash ^ b) * 16777619u;
    std::mt19937 rng(hash);
    Plan plan;
    if (rng() % 2) plan.encoding = static_cast<int>(rng() % kEncodings);
    if (rng() % 3 == 0) {
        static const std::size_t kLengths[] = {101, 120, 300, 1000, 5000, 20000, 70000};
        plan.stretchTo = kLengths[rng() % std::size(kLengths)];
        plan.stretchFrom = 1 + rng() % 3;
    }
    switch (rng() % 16) {
        case 0:  // across the end of the reader's first 1 MiB block
            plan.padBytes = (std::size_t{1} << 20) - rng() % 64;
            break;
        case 1:
        case 2:
        case 3:  // across the end of a 64 KiB chunk of text
            plan.padUnits = (std::size_t{1} << 16) * (1 + rng() % 3) - rng() % 300;
            break;
        default:
            break;
    }
    return plan;
}

}  // namespace engine_fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool foldChecked = (CheckFold(), true);
    static Scratch scratch;
    (void)foldChecked;
    // Under libFuzzer, ENGINE_FUZZ_KEEP_GOING=1 notes disagreements ("finding: ...") and goes on.
    static const bool keepGoingAsked = [] {
        const char* keep = std::getenv("ENGINE_FUZZ_KEEP_GOING");
        if (keep && *keep && *keep != '0') engine_fuzz::keepGoing = true;
        return true;
    }();
    (void)keepGoingAsked;
    const std::string_view original(reinterpret_cast<const char*>(data), size);
    const engine_fuzz::Plan plan =
        engine_fuzz::forcedPlan ? *engine_fuzz::forcedPlan : engine_fuzz::PlanFor(original);
    const std::string input = Reshape(original, plan);
    const Expected expected = Model(input);
    g_current = {original, input, &plan, &expected};
    ++engine_fuzz::inputsRun;
    engine_fuzz::bytesRun += input.size();
    // Each input runs twice: in memory, and with a budget so small that its phrases go to
    // sorted runs on disk, a run for every few hundred bytes of a short list and a few runs
    // of a long one, the first spelling of a phrase and its repeats in different runs.
    for (const std::uint64_t budget :
         {std::uint64_t{0}, std::max<std::uint64_t>(input.size() * 6, 1)}) {
        g_current.budget = budget;
        try {
            RunOne(input, scratch);
        } catch (const Disagreement&) {
            // Counted already; the run goes on (keepGoing).
        }
    }
    return 0;
}
