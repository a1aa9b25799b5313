// The languages' order and NFC through Windows' own NLS: the word sort of the locale (hyphen and
// apostrophe nearly ignored, as in Explorer and Excel), letter case ignored as the language
// has it. LCMapStringEx and NormalizeString may be called on several threads at once.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "engine/failure.h"
#include "engine/order/collation.h"
#include "engine/order/text_words.h"
#include "win32/system_error_text.h"
#include "win32/wide_string.h"

namespace ostrel {
namespace {

constexpr DWORD kKeyFlags = LCMAP_SORTKEY | NORM_IGNORECASE | NORM_LINGUISTIC_CASING;

[[noreturn]] void Failed(const std::string& what) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY) throw std::bad_alloc();
    throw RuntimeError(err::kInternalError, what + ": " + win32::SystemErrorText(error));
}

// Well-formed UTF-8 into a reused UTF-16 buffer; a malformed byte becomes U+FFFD, which only
// keys see (their ties are settled by the forms).
void ToWide(std::string_view utf8, std::wstring& wide) {
    wide.resize(utf8.size());  // never more units than bytes
    const int n =
        utf8.empty() ? 0
                     : ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                             wide.data(), static_cast<int>(wide.size()));
    if (n <= 0 && !utf8.empty()) Failed("Converting a phrase to UTF-16 failed");
    wide.resize(static_cast<std::size_t>(n));
}

// The NFC of units [text, text + length) into normal; false, with the offset of the character
// at fault in bad, where Windows finds one it cannot normalize.
bool NormalizedPart(const wchar_t* text, std::size_t length, std::wstring& normal,
                    std::size_t& bad) {
    normal.clear();
    if (length == 0) return true;
    const int units = static_cast<int>(length);
    int room = ::NormalizeString(NormalizationC, text, units, nullptr, 0);
    for (;;) {
        if (room <= 0) {
            if (::GetLastError() != ERROR_NO_UNICODE_TRANSLATION)
                Failed("Unicode normalization failed");
            bad = static_cast<std::size_t>(-room);
            return false;
        }
        normal.resize(static_cast<std::size_t>(room));
        const int n = ::NormalizeString(NormalizationC, text, units, normal.data(), room);
        if (n > 0) {
            normal.resize(static_cast<std::size_t>(n));
            return true;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            room = n;  // a character at fault, or another failure: said above
            continue;
        }
        room = -n;  // the estimate the call gives back
    }
}

class NlsKeys final : public CollationKeys {
  public:
    explicit NlsKeys(const std::wstring& locale) : locale_(locale) {}

    std::size_t KeyWords(std::string_view form, std::size_t depth, std::uint64_t* words,
                         std::size_t count) override {
        const std::size_t n = Make(form);
        const std::size_t have = n > depth ? n - depth : 0;
        for (std::size_t i = 0; i < count; ++i)
            words[i] = OrderedWord(WordAt(key_.data() + std::min(n, depth), 8 * i, have));
        return n;
    }

    void Key(std::string_view form, std::string& key) override {
        key.assign(key_.data(), Make(form));
    }

  private:
    // The whole key into key_, without the zero byte that ends it; its length.
    std::size_t Make(std::string_view form) {
        ToWide(form, wide_);
        const int length = static_cast<int>(wide_.size());
        const int needed = ::LCMapStringEx(locale_.c_str(), kKeyFlags, wide_.data(), length,
                                           nullptr, 0, nullptr, nullptr, 0);
        if (needed <= 0) Failed("Sorting failed");
        key_.resize(static_cast<std::size_t>(needed));
        // A sort key's size is counted in bytes, though the buffer is typed as wide characters.
        if (::LCMapStringEx(locale_.c_str(), kKeyFlags, wide_.data(), length,
                            reinterpret_cast<LPWSTR>(key_.data()), needed, nullptr, nullptr,
                            0) <= 0)
            Failed("Sorting failed");
        std::size_t n = key_.size();
        if (n > 0 && key_[n - 1] == 0) --n;
        return n;
    }

    const std::wstring& locale_;
    std::wstring wide_;
    std::vector<char> key_;
};

class NlsCollation final : public Collation {
  public:
    explicit NlsCollation(std::wstring locale)
        : locale_(std::move(locale)), name_(win32::WideToUtf8(locale_)) {}
    std::unique_ptr<CollationKeys> NewKeys() const override {
        return std::make_unique<NlsKeys>(locale_);
    }
    const std::string& LocaleName() const override { return name_; }

  private:
    std::wstring locale_;
    std::string name_;
};

}  // namespace

void AppendNfc(std::string_view wellFormed, std::string& out) {
    std::wstring wide;
    ToWide(wellFormed, wide);
    std::wstring normal, piece;
    // A character that Windows will not normalize (one it does not know, say) stays as it is
    // and parts what lies on either side of it, as one that combines with nothing would.
    std::size_t at = 0, end = wide.size();
    while (at < wide.size()) {
        std::size_t bad = 0;
        if (NormalizedPart(wide.data() + at, end - at, piece, bad)) {
            normal += piece;
            at = end;
            end = wide.size();
        } else if (bad > 0 && bad < end - at) {
            end = at + bad;  // the part before it first
        } else {
            const std::size_t units = IS_HIGH_SURROGATE(wide[at]) && at + 1 < wide.size() ? 2 : 1;
            normal.append(wide, at, units);
            at += units;
            end = wide.size();
        }
    }
    out += win32::WideToUtf8(normal);
}

std::unique_ptr<Collation> CollationFor(std::string_view locale) {
    // A POSIX name says the same in its own way: "sv_SE.UTF-8" is sv-SE.
    std::string name(locale.substr(0, locale.find_first_of(".@")));
    if (name.empty() || name == "C" || name == "POSIX") return nullptr;
    std::replace(name.begin(), name.end(), '_', '-');
    std::wstring wide = win32::Utf8ToWide(name);
    if (!::IsValidLocaleName(wide.c_str()))
        throw RuntimeError(err::kInvalidCall, "Unknown locale: " + std::string(locale));
    return std::make_unique<NlsCollation>(std::move(wide));
}

std::string UserLocaleName() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) <= 0) return "";
    return win32::WideToUtf8(name);
}

}  // namespace ostrel
