#include "engine/order/phrase_order.h"

#include <array>
#include <stdexcept>

#include "engine/order/collation.h"
#include "engine/text/utf.h"

namespace ostrel {

namespace {

// The mapping, a run of capitals at a time: each code point from first to last (or every other
// one, where capitals and small letters alternate) folds to itself + delta.
struct FoldRun {
    char32_t first, last;
    int delta;
    bool alternate;
};

constexpr FoldRun kFoldRuns[] = {
    {U'A', U'Z', 0x20, false},
    // Latin-1 Supplement, but for U+00D7 (the multiplication sign)
    {0xC0, 0xD6, 0x20, false},
    {0xD8, 0xDE, 0x20, false},
    // Latin Extended-A: pairs of capital and small letter
    {0x100, 0x12E, 1, true},
    {0x130, 0x130, 'i' - 0x130, false},  // capital I with dot above
    {0x132, 0x136, 1, true},
    {0x139, 0x147, 1, true},
    {0x14A, 0x176, 1, true},
    {0x178, 0x178, 0xFF - 0x178, false},  // capital Y with diaeresis
    {0x179, 0x17D, 1, true},
    // Greek and Coptic
    {0x370, 0x372, 1, true},
    {0x376, 0x376, 1, false},
    {0x37F, 0x37F, 0x3F3 - 0x37F, false},
    {0x386, 0x386, 0x3AC - 0x386, false},
    {0x388, 0x38A, 0x25, false},
    {0x38C, 0x38C, 0x3CC - 0x38C, false},
    {0x38E, 0x38F, 0x3F, false},
    {0x391, 0x3A1, 0x20, false},
    {0x3A3, 0x3AB, 0x20, false},
    {0x3CF, 0x3CF, 0x3D7 - 0x3CF, false},
    {0x3D8, 0x3EE, 1, true},
    {0x3F4, 0x3F4, 0x3B8 - 0x3F4, false},
    {0x3F7, 0x3F7, 1, false},
    {0x3F9, 0x3F9, 0x3F2 - 0x3F9, false},
    {0x3FA, 0x3FA, 1, false},
    {0x3FD, 0x3FF, 0x37B - 0x3FD, false},
    // Cyrillic and its supplement
    {0x400, 0x40F, 0x50, false},
    {0x410, 0x42F, 0x20, false},
    {0x460, 0x480, 1, true},
    {0x48A, 0x4BE, 1, true},
    {0x4C0, 0x4C0, 0x4CF - 0x4C0, false},
    {0x4C1, 0x4CD, 1, true},
    {0x4D0, 0x52E, 1, true},
};

using FoldTable = std::array<char16_t, kFoldLimit>;

constexpr FoldTable MakeFoldTable() {
    FoldTable table{};
    for (char32_t c = 0; c < kFoldLimit; ++c) table[c] = static_cast<char16_t>(c);
    // A run reaching kFoldLimit fails the build here: table[c] is out of bounds.
    for (const FoldRun& run : kFoldRuns)
        for (char32_t c = run.first; c <= run.last; c += run.alternate ? 2 : 1)
            table[c] = static_cast<char16_t>(static_cast<int>(c) + run.delta);
    return table;
}

constexpr FoldTable kFoldTable = MakeFoldTable();

constexpr int Utf8Length(char32_t c) {
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

constexpr bool FoldsWithinTheLimitAndNoLonger() {
    for (char32_t c = 0; c < kFoldLimit; ++c)
        if (kFoldTable[c] >= kFoldLimit || Utf8Length(kFoldTable[c]) > Utf8Length(c)) return false;
    return true;
}
// The folded form of a text fits a buffer of the text's size.
static_assert(FoldsWithinTheLimitAndNoLonger(),
              "a character folds to one below kFoldLimit, in no more UTF-8 bytes than its own");

constexpr bool FoldedCharactersStay() {
    for (char32_t c = 0; c < kFoldLimit; ++c)
        if (kFoldTable[kFoldTable[c]] != kFoldTable[c]) return false;
    return true;
}
// A folded text folds to itself: FoldedWords folds the ASCII of a folded text again.
static_assert(FoldedCharactersStay(), "a character must fold to one that folds to itself");

constexpr bool AsciiFoldsAsTheTableSays() {
    for (char32_t c = 0; c < 0x100; ++c) {
        const char folded = FoldAscii(static_cast<char>(c));
        if (static_cast<unsigned char>(folded) != (c < 0x80 ? kFoldTable[c] : c)) return false;
    }
    return true;
}
static_assert(AsciiFoldsAsTheTableSays(), "FoldAscii must fold ASCII as the table does");

// Every byte value in every place of a word, beside other values.
constexpr bool WordsFoldAsTheirBytes() {
    for (unsigned v = 0; v < 0x100; ++v) {
        std::uint64_t w = 0;
        for (unsigned k = 0; k < 8; ++k) w |= std::uint64_t((v + 37 * k) & 0xFF) << (8 * k);
        const std::uint64_t folded = FoldAsciiWord(w);
        for (unsigned k = 0; k < 8; ++k) {
            const auto byte = static_cast<char>((w >> (8 * k)) & 0xFF);
            if (static_cast<unsigned char>(FoldAscii(byte)) != ((folded >> (8 * k)) & 0xFF))
                return false;
        }
    }
    return true;
}
static_assert(WordsFoldAsTheirBytes(), "FoldAsciiWord must fold each byte as FoldAscii does");

// Folds text into a buffer of at least text.size() bytes; returns the folded length.
std::size_t FoldUtf8(std::string_view text, char* out) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0, o = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            out[o++] = FoldAscii(static_cast<char>(b));
            ++i;
            continue;
        }
        // Every character that folds lies below kFoldLimit (U+0800): only two-byte sequences
        // can change.
        if (Utf8SequenceLength(b) == 2 && i + 1 < n && IsUtf8Continuation(s[i + 1])) {
            const char32_t c = (char32_t(b & 0x1F) << 6) | (s[i + 1] & 0x3F);
            const char32_t f = kFoldTable[c];
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

// Every code point below U+0300 is NFC and combines with nothing before it: a text needs
// NFC only if some byte from 0xCC up, the lead byte of U+0300, begins a character.
bool MayNeedNfc(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0xCC) return true;
    return false;
}

// NFC of each well-formed stretch of text; a malformed byte, or a surrogate code point read
// from UTF-16, stays as it is and parts the stretches, as a character that combines with
// nothing would.
void AppendNfcKeepingStrays(std::string_view text, std::string& out) {
    std::size_t start = 0, i = 0;
    while (i < text.size()) {
        std::size_t next = i;
        char32_t c;
        const bool decoded = DecodeUtf8(text, next, c);
        if (decoded && (c < 0xD800 || c > 0xDFFF)) {
            i = next;
            continue;
        }
        if (i > start) AppendNfc(text.substr(start, i - start), out);
        const std::size_t stray = decoded ? next - i : 1;
        out.append(text.substr(i, stray));
        start = i += stray;
    }
    if (i > start) AppendNfc(text.substr(start), out);
}

}  // namespace

std::size_t PhraseForm(std::string_view text, char* out) {
    if (!MayNeedNfc(text)) return FoldUtf8(text, out);
    // A thread's own; only texts beyond U+0300 come here.
    thread_local std::string composed;
    composed.clear();
    AppendNfcKeepingStrays(text, composed);
    if (composed.size() > FormRoom(text.size()) - 8)
        throw std::length_error("a text's NFC form is longer than NFC makes any");
    return FoldUtf8(composed, out);
}

void PhraseForm(std::string_view text, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + FormRoom(text.size()));
    out.resize(start + PhraseForm(text, out.data() + start));
}

char32_t FoldCodePoint(char32_t c) {
    return c < kFoldLimit ? kFoldTable[c] : c;
}

}  // namespace ostrel
