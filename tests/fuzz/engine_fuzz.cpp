// Differential fuzz target: the input bytes are a keyword list. The real engine opens it and
// saves the result through a headless window; a small reference model written here says what
// must come out. Both must agree on the two counts and on the saved bytes, or both must refuse
// the list (one error message, the previous result left in force). Any disagreement aborts.
//
// The model's rules:
// - Encoding: a UTF-8, UTF-16LE or UTF-16BE byte-order mark says what the file is; without one,
//   valid UTF-8 is UTF-8 and anything else is Windows-1252.
// - Lines end at CR, CR LF or LF; a last line with no line end counts. Spaces (only) are trimmed
//   from both ends; a line left empty is skipped but still has a line number.
// - A trimmed line of more than 100 characters refuses the list, naming its line number. A
//   UTF-16 file with an odd number of bytes after its mark is refused too.
// - Letter case is ignored the one-to-one way for ASCII, Latin-1, Latin Extended-A, Greek and
//   Cyrillic; the first spelling of a phrase is kept; the result is in code point order of the
//   folded text; each phrase is written back with CR LF in the file's encoding, mark included.
// - What a valid text cannot hold is kept as it is, never replaced: unpaired UTF-16 surrogates
//   stay code points of their own; in a file marked UTF-8, a malformed sequence (a lead byte with
//   the continuation bytes that follow it, up to the length the lead announces, or a stray
//   byte) is one character that folds to itself and is written back byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "case_fold.h"
#include "collaborators.h"
#include "duplicate_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace engine_fuzz {
// One input in this many, chosen by a hash of its bytes, runs with blank lines put in front of
// it (see PadToBlockEnd); 1 pads every input, 0 none. The replay driver sets it.
unsigned paddingEvery = 16;
}  // namespace engine_fuzz

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Reference model

enum class Enc { Utf8, Utf8Bom, Utf16LE, Utf16BE, Ansi };

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
            std::size_t k = 1;
            while (k < static_cast<std::size_t>(len) && i + k < s.size() &&
                   IsContinuation(static_cast<unsigned char>(s[i + k])))
                ++k;
            for (std::size_t j = 0; j < k; ++j) ch.raw[j] = s[i + j];
            ch.rawLength = static_cast<unsigned char>(k);
            i += k;
        }
        line.push_back(std::move(ch));
    }
    return line;
}

bool ValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char lo, hi;
        const int len = LeadLength(static_cast<unsigned char>(s[i]), lo, hi);
        if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) return false;
        for (int k = 1; k < len; ++k) {
            const auto t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if (k == 1 ? (t < lo || t > hi) : !IsContinuation(t)) return false;
        }
        i += static_cast<std::size_t>(len);
    }
    return true;
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
        } else {
            auto unit = [&](char32_t u) {
                const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
                if (enc == Enc::Utf16BE)
                    out += hi, out += lo;
                else
                    out += lo, out += hi;
            };
            if (c.cp >= 0x10000) {
                unit(0xD800 + ((c.cp - 0x10000) >> 10));
                unit(0xDC00 + ((c.cp - 0x10000) & 0x3FF));
            } else {
                unit(c.cp);
            }
        }
    }
}

struct Expected {
    bool refused = false;
    std::uint64_t tooLongLine = 0;  // refused for this line; 0: for the file's length
    std::uint64_t actual = 0, final = 0;
    std::string saved;
};

Expected Model(std::string_view bytes) {
    Enc enc;
    std::size_t skip = 0;
    auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts("\xEF\xBB\xBF"))
        enc = Enc::Utf8Bom, skip = 3;
    else if (starts("\xFF\xFE"))
        enc = Enc::Utf16LE, skip = 2;
    else if (starts("\xFE\xFF"))
        enc = Enc::Utf16BE, skip = 2;
    else
        enc = ValidUtf8(bytes) ? Enc::Utf8 : Enc::Ansi;
    const std::string_view body = bytes.substr(skip);

    // Every line, trimmed and decoded; a blank line is left empty.
    std::vector<Line> lines;
    bool oddLength = false;
    if (enc == Enc::Utf16LE || enc == Enc::Utf16BE) {
        oddLength = body.size() % 2 != 0;
        std::u16string units;
        for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
            const auto a = static_cast<unsigned char>(body[i]),
                       b = static_cast<unsigned char>(body[i + 1]);
            units.push_back(
                static_cast<char16_t>(enc == Enc::Utf16BE ? (a << 8) | b : (b << 8) | a));
        }
        for (const std::u16string_view u : SplitLines(std::u16string_view(units)))
            lines.push_back(DecodeUtf16(TrimSpaces(u)));
    } else {
        for (const std::string_view s : SplitLines(body))
            lines.push_back(enc == Enc::Ansi ? DecodeCp1252(TrimSpaces(s))
                                             : DecodeUtf8(TrimSpaces(s)));
    }

    Expected e;
    std::map<std::string, Line> unique;  // by sort key: the first spelling of each phrase
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const Line& line = lines[n];
        if (line.empty()) continue;
        if (line.size() > 100) {
            e.refused = true;
            e.tooLongLine = n + 1;
            return e;
        }
        ++e.actual;
        unique.emplace(SortKey(line), line);
    }
    if (oddLength) {
        e.refused = true;
        return e;
    }
    e.final = unique.size();
    if (enc == Enc::Utf8Bom) e.saved = "\xEF\xBB\xBF";
    if (enc == Enc::Utf16LE) e.saved = "\xFF\xFE";
    if (enc == Enc::Utf16BE) e.saved = "\xFE\xFF";
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

// The reader takes the file in blocks of 1 MiB. Some inputs are run with blank lines of
// spaces put in front of their text (after any byte-order mark), so that their lines straddle
// the end of the first block: length bytes of padding, in the input's own encoding.
std::string PadToBlockEnd(std::string_view input, std::size_t length) {
    std::size_t skip = 0;
    int wide = 0;  // 0: bytes; 1: UTF-16LE; 2: UTF-16BE
    if (input.substr(0, 3) == "\xEF\xBB\xBF")
        skip = 3;
    else if (input.substr(0, 2) == "\xFF\xFE")
        skip = 2, wide = 1;
    else if (input.substr(0, 2) == "\xFE\xFF")
        skip = 2, wide = 2;
    const std::size_t unit = wide ? 2 : 1;
    std::string padding;
    padding.reserve(length);
    auto put = [&](char c) {
        if (wide == 2) padding += '\0';
        padding += c;
        if (wide == 1) padding += '\0';
    };
    for (std::size_t n = 1; n <= length / unit; ++n)
        put(n % 100 == 0 || n == length / unit ? '\n' : ' ');
    std::string out(input.substr(0, skip));
    out += padding;
    out += input.substr(skip);
    return out;
}

std::string Printable(std::string_view s, std::size_t limit = 600) {
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < limit; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += static_cast<char>(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    if (s.size() > limit) out += "...";
    return out;
}

std::size_t g_padding = 0;  // of the current run

[[noreturn]] void Disagree(std::string_view input, const std::string& what) {
    std::fprintf(stderr, "\nengine and model disagree: %s\ninput (%zu bytes): \"%s\"\n",
                 what.c_str(), input.size(), Printable(input).c_str());
    if (g_padding)
        std::fprintf(stderr, "run with %zu bytes of blank lines after any byte-order mark\n",
                     g_padding);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool foldChecked = (CheckFold(), true);
    static Scratch scratch;
    (void)foldChecked;
    const std::string_view original(reinterpret_cast<const char*>(data), size);
    std::uint32_t hash = 2166136261u;
    for (unsigned char b : original) hash = (hash ^ b) * 16777619u;
    g_padding = 0;
    std::string padded;
    if (engine_fuzz::paddingEvery != 0 && hash % engine_fuzz::paddingEvery == 0) {
        g_padding = (std::size_t{1} << 20) - ((hash >> 8) % 32) * 2;
        padded = PadToBlockEnd(original, g_padding);
    }
    const std::string_view input = g_padding ? std::string_view(padded) : original;
    Scratch::Write(scratch.in, input);

    HeadlessUi ui;
    ostrel::DuplicateEngine engine(ui);
    ui.next = scratch.base;
    engine.cmdOpen_Click();
    const std::string previousActual = ui.actualCaption, previousFinal = ui.finalCaption;
    if (!ui.messages.empty() || previousFinal != "Final Keyword Phrases : 1")
        Disagree(original, "the previous list did not open");

    ui.dragged = false;
    ui.next = scratch.in;
    engine.cmdOpen_Click();
    const Expected e = Model(input);

    if (e.refused) {
        if (ui.messages.size() != 1)
            Disagree(original, "the list should be refused with one message, got " +
                                   std::to_string(ui.messages.size()) + " (Actual " +
                                   ui.actualCaption + ", Final " + ui.finalCaption + ")");
        const std::string& m = ui.messages[0];
        const std::string head = "Unable to open description file \r";
        const std::string why =
            e.tooLongLine ? "Line " + std::to_string(e.tooLongLine) + " of " + scratch.in + " "
                          : std::string("UTF-16");
        if (m.rfind(head, 0) != 0 || m.find(why) == std::string::npos ||
            m.find(scratch.in) == std::string::npos)
            Disagree(original, "refusal message \"" + Printable(m) + "\" lacks \"" + why + "\"");
        std::vector<std::string> rows;
        auto& t = *engine.rsUnique();
        for (t.MoveFirst(); !t.Eof(); t.MoveNext()) rows.emplace_back(t.Fields(0).Value());
        if (rows != std::vector<std::string>{"Previous"} || ui.actualCaption != previousActual ||
            ui.finalCaption != previousFinal || ui.dragged || ui.progressVisible)
            Disagree(original, "a refused list did not leave the previous result in force");
        return 0;
    }

    if (!ui.messages.empty())
        Disagree(original,
                 "the engine refused a sound list: \"" + Printable(ui.messages[0]) + "\"");
    if (ui.actualCaption != ostrel::ActualRowCountCaption(e.actual) ||
        ui.finalCaption != ostrel::FinalRowCountCaption(e.final) || !ui.dragged)
        Disagree(original, "counts " + ui.actualCaption + " / " + ui.finalCaption + ", expected " +
                               std::to_string(e.actual) + " / " + std::to_string(e.final));

    ui.next = scratch.out;
    engine.cmdSave_Click();
    if (ui.messages != std::vector<std::string>{"File saved successfully"})
        Disagree(original, "the save failed: \"" +
                               Printable(ui.messages.empty() ? "" : ui.messages.back()) + "\"");
    const std::string saved = Scratch::Read(scratch.out);
    if (saved != e.saved)
        Disagree(original,
                 "saved \"" + Printable(saved) + "\"\n  expected \"" + Printable(e.saved) + "\"");
    return 0;
}
