#pragma once
// What the platform knows of languages, for phrase_order.h: the canonical composition of a text
// (NFC), and the order in which a language sorts its words. collation_icu.cpp carries them out
// with ICU elsewhere, win32/collation_nls.cpp with Windows' own NLS; the engine names neither.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ostrel {

// Appends the NFC form of a well-formed UTF-8 text (no surrogate code points) to out.
void AppendNfc(std::string_view wellFormed, std::string& out);

// Sort keys of one thread: their bytes compared as unsigned numbers, a key before every longer
// one that it begins, give the language's order.
class CollationKeys {
  public:
    virtual ~CollationKeys() = default;
    // Bytes [depth, depth + 8 * count) of the key of a phrase's form, as count big-endian
    // words padded with zero bytes. Returns the key's length when it ends within them, and
    // some larger number when it goes on past them.
    virtual std::size_t KeyWords(std::string_view form, std::size_t depth, std::uint64_t* words,
                                 std::size_t count) = 0;
    // The whole key.
    virtual void Key(std::string_view form, std::string& key) = 0;
};

// A language's order: letter case ignored, accents counted, spaces and punctuation counted
// but for hyphen-minus, the apostrophe and U+2019, which only part phrases that are otherwise
// equal. Digits are not read as numbers. It may be used on several threads at once, each with
// keys of its own.
class Collation {
  public:
    virtual ~Collation() = default;
    virtual std::unique_ptr<CollationKeys> NewKeys() const = 0;
    // The locale it is for, as the platform names it.
    virtual const std::string& LocaleName() const = 0;
};

// The collation of a locale, named in BCP 47 ("sv-SE") or as a POSIX locale ("sv_SE.UTF-8");
// none, for code-point order, for "C", "POSIX", "C.UTF-8" or "". A locale that the platform does
// not know raises RuntimeError err::kInvalidCall naming it.
std::unique_ptr<Collation> CollationFor(std::string_view locale);

// The user's locale: on Windows the user's regional format; elsewhere the first of LC_ALL,
// LC_COLLATE and LANG that is set, as sort reads them ("" when none is).
std::string UserLocaleName();

}  // namespace ostrel
