#pragma once
// How phrases compare: the one rule behind the working table's equality and order, which the
// loader, the pool, the table's filter, the sort and the merge of sorted runs all call.
//
// - A phrase's form is its text in NFC (canonically equivalent spellings made one) with letter
//   case folded (PhraseForm). A text with no byte from 0xCC up holds no character below U+0300
//   that NFC would change, and skips it.
// - Two phrases are one phrase when their forms are the same bytes, in every order. The loader
//   and the pool find a phrase by the hash of its form (FoldAndHash, PhraseFormHash) and tell
//   spellings apart with FoldEqual.
// - Phrases are in the order of a language (collation.h), of their forms' collation keys, and
//   where those tie, or with no language (the "C" order), in the order of their forms: bytes as
//   unsigned numbers, a form before every longer one that it begins (ComparePhraseForms). The
//   sort reads keys and forms as big-endian words padded with zero bytes, ordering those whose
//   words tie by their length; the merge of sorted runs compares whole places (PhrasePlace).
//   Keys are of the form, not of the text, so that one phrase's spellings are never apart.
//
// A bounded result is right only because the sort, the merge and the table agree on this: the
// order and the equality change here, or nowhere.
//
// The fold: capital letters of ASCII, Latin-1 Supplement, Latin Extended-A, Greek and Cyrillic
// fold to their small letter (the one-to-one mapping); every other character compares exactly.
// Texts are UTF-8; bytes that do not form a character are kept as they are. The mapping is one
// table, in phrase_order.cpp, and the build checks there what the rest of the engine relies on:
// - every character that folds, and what it folds to, lies below kFoldLimit, so only one- and
//   two-byte sequences change;
// - no character folds to a longer sequence: a folded text is never longer than the text, and a
//   buffer of the text's size holds it;
// - a folded character folds to itself;
// - ASCII folds byte for byte within ASCII, as FoldAscii and FoldAsciiWord do it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/order/collation.h"
#include "engine/order/text_hash.h"
#include "engine/order/text_words.h"

namespace ostrel {

// Every character that folds lies below this code point.
constexpr char32_t kFoldLimit = 0x800;

// The small letter of a code point, or the code point itself.
char32_t FoldCodePoint(char32_t c);

// An ASCII capital made small; every other byte stays as it is.
constexpr char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether two texts are equal but for the letter case of ASCII: for names and keywords, which
// are ASCII, never for phrases.
constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

// FoldAscii on each of the eight bytes of w at once.
constexpr std::uint64_t FoldAsciiWord(std::uint64_t w) {
    const std::uint64_t low7 = w & (0x7F * kOnes);
    const std::uint64_t atLeastA = low7 + (0x80 - 'A') * kOnes;  // no carry between bytes
    const std::uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * kOnes;
    return w | ((atLeastA & ~aboveZ & ~w & kHighBits) >> 2);
}

// ---- Forms ----

// The room a form may take: NFC makes a UTF-8 text at most three times as long, and the fold
// never longer; eight bytes more for the word-at-a-time forms.
constexpr std::size_t FormRoom(std::size_t textBytes) {
    return 3 * textBytes + 8;
}

// The form of a phrase, into a buffer of FormRoom(text.size()) bytes; returns its length.
std::size_t PhraseForm(std::string_view text, char* out);
// Appends the form of a phrase to out.
void PhraseForm(std::string_view text, std::string& out);

// Whether two forms are one phrase's.
inline bool SamePhraseForm(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

// Below 0, 0 or above 0 as form a orders before, with or after form b: bytes as unsigned
// numbers, a form before every longer one that it begins.
inline int ComparePhraseForms(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    const int bytes = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
    if (bytes != 0) return bytes;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// The hash by which a phrase is found: its form's.
inline std::uint64_t PhraseFormHash(std::string_view form) {
    return HashText(form.data(), form.size());
}

// ---- Eight bytes at a time ----
// Plain ASCII, the usual text, folds byte for byte: these go a word at a time, and hand any
// other text to PhraseForm.

// The form of text into out (FormRoom(text.size()) bytes), hashed as PhraseFormHash does;
// returns the form's length.
inline std::size_t FoldAndHash(std::string_view text, char* out, std::uint64_t& hash) {
    const char* s = text.data();
    const std::size_t n = text.size();
    std::uint64_t h = kHashSeed ^ n, high = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w = LoadWord(s + i);
        high |= w;
        w = FoldAsciiWord(w);
        std::memcpy(out + i, &w, 8);
        h = HashWord(h, w);
    }
    std::uint64_t tail = 0;
    if (i < n) {
        tail = TailWord(s, i, n);
        high |= tail;
        tail = FoldAsciiWord(tail);
        std::memcpy(out + i, &tail, 8);
    }
    if (!(high & kHighBits)) {
        hash = HashFinish(h, tail);
        return n;
    }
    const std::size_t form = PhraseForm(text, out);
    hash = PhraseFormHash({out, form});
    return form;
}

// Whether two texts are one phrase (FormRoom of the longer text in each scratch buffer).
inline bool FoldEqual(std::string_view a, std::string_view b, char* scratchA, char* scratchB) {
    const std::size_t n = a.size();
    if (n == b.size()) {
        // A difference between ASCII bytes is final.
        std::uint64_t high = 0;
        std::size_t i = 0;
        bool same = true;
        for (; same && i + 8 <= n; i += 8) {
            const std::uint64_t x = LoadWord(a.data() + i), y = LoadWord(b.data() + i);
            high |= x | y;
            same = FoldAsciiWord(x) == FoldAsciiWord(y);
        }
        if (same && i < n) {
            const std::uint64_t x = TailWord(a.data(), i, n), y = TailWord(b.data(), i, n);
            high |= x | y;
            same = FoldAsciiWord(x) == FoldAsciiWord(y);
        }
        if (!(high & kHighBits)) return same;
    }
    return SamePhraseForm({scratchA, PhraseForm(a, scratchA)}, {scratchB, PhraseForm(b, scratchB)});
}

// Bytes of the folded text from offset depth, as count big-endian words, zero-padded, so that
// the words' order, with ties broken by the length, is ComparePhraseForms' order; returns the
// folded text's length. Only a text
// that is not plain ASCII is folded whole, into scratch.
inline std::size_t FoldedWords(std::string_view text, std::size_t depth, std::uint64_t* words,
                               std::size_t count, std::string& scratch) {
    const char* f = text.data();
    std::size_t n = text.size();
    if (!IsAscii(f, n)) {
        scratch.clear();
        PhraseForm(text, scratch);
        f = scratch.data();
        n = scratch.size();
    }
    for (std::size_t i = 0; i < count; ++i)
        words[i] = OrderedWord(FoldAsciiWord(WordAt(f, depth + 8 * i, n)));
    return n;
}

// ---- Places ----

// A phrase's place in the order, for comparing phrases whole: its form, and its collation key
// where there is a language.
struct PhrasePlace {
    std::string key, form;
};

// The place of a phrase; keys is null for the "C" order.
inline void PlacePhrase(std::string_view text, CollationKeys* keys, PhrasePlace& place) {
    place.form.clear();
    PhraseForm(text, place.form);
    if (keys) keys->Key(place.form, place.key);
}

// Below 0, 0 or above 0 as a orders before, with or after b; 0 for one phrase alone.
inline int ComparePlaces(const PhrasePlace& a, const PhrasePlace& b) {
    const int byKey = ComparePhraseForms(a.key, b.key);
    return byKey != 0 ? byKey : ComparePhraseForms(a.form, b.form);
}

}  // namespace ostrel
