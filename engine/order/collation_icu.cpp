// The languages' order and NFC through ICU, on systems other than Windows. ICU's collator is used
// from several threads at once: its functions that take it as const are safe to share.
#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/ucol.h>
#include <unicode/uiter.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "engine/failure.h"
#include "engine/order/collation.h"
#include "engine/order/text_words.h"

namespace ostrel {
namespace {

// Hyphen-minus, the apostrophe and U+2019 weigh nothing but at the second level, as in the word
// sort of Windows: "coop" < "co-op" < "cork".
constexpr char16_t kQuietPunctuation[] = u"&[last primary ignorable]<<'-'<<''<<\u2019";

struct CloseCollator {
    void operator()(UCollator* c) const { ucol_close(c); }
};
using CollatorPtr = std::unique_ptr<UCollator, CloseCollator>;

[[noreturn]] void UnknownLocale(std::string_view locale) {
    throw RuntimeError(err::kInvalidCall, "Unknown locale: " + std::string(locale));
}

class IcuKeys final : public CollationKeys {
  public:
    explicit IcuKeys(const UCollator* collator) : collator_(collator) {}

    std::size_t KeyWords(std::string_view form, std::size_t depth, std::uint64_t* words,
                         std::size_t count) override {
        const std::size_t wanted = depth + 8 * count;
        const std::size_t got = Part(form, wanted);
        const std::size_t have = got > depth ? got - depth : 0;
        for (std::size_t i = 0; i < count; ++i)
            words[i] = OrderedWord(WordAt(bytes_.data() + std::min(got, depth), 8 * i, have));
        return got < wanted ? got : wanted + 1;
    }

    void Key(std::string_view form, std::string& key) override {
        std::size_t wanted = 4 * form.size() + 16, got;
        while ((got = Part(form, wanted)) == wanted) wanted *= 2;
        key.assign(bytes_.data(), got);
    }

  private:
    // The key's first wanted bytes, or all of it if shorter, into bytes_; their number.
    std::size_t Part(std::string_view form, std::size_t wanted) {
        if (bytes_.size() < wanted) bytes_.resize(wanted);
        UCharIterator text;
        uiter_setUTF8(&text, form.data(), static_cast<std::int32_t>(form.size()));
        std::uint32_t state[2] = {0, 0};
        UErrorCode status = U_ZERO_ERROR;
        const std::int32_t got = ucol_nextSortKeyPart(
            collator_, &text, state, reinterpret_cast<std::uint8_t*>(bytes_.data()),
            static_cast<std::int32_t>(wanted), &status);
        if (U_FAILURE(status)) {
            if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
            throw RuntimeError(err::kInternalError,
                               std::string("Sorting failed: ") + u_errorName(status));
        }
        return static_cast<std::size_t>(got);
    }

    const UCollator* collator_;
    std::vector<char> bytes_;
};

class IcuCollation final : public Collation {
  public:
    IcuCollation(CollatorPtr collator, std::string name)
        : collator_(std::move(collator)), name_(std::move(name)) {}
    std::unique_ptr<CollationKeys> NewKeys() const override {
        return std::make_unique<IcuKeys>(collator_.get());
    }
    const std::string& LocaleName() const override { return name_; }

  private:
    CollatorPtr collator_;
    std::string name_;
};

}  // namespace

void AppendNfc(std::string_view wellFormed, std::string& out) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::StringByteSink<std::string> sink(&out);
    if (U_SUCCESS(status))
        nfc->normalizeUTF8(
            0, icu::StringPiece(wellFormed.data(), static_cast<std::int32_t>(wellFormed.size())),
            sink, nullptr, status);
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    if (U_FAILURE(status))
        throw RuntimeError(err::kInternalError,
                           std::string("Unicode normalization failed: ") + u_errorName(status));
}

std::unique_ptr<Collation> CollationFor(std::string_view locale) {
    // A POSIX name's code set and modifier say nothing of the order: "sv_SE.UTF-8@euro".
    const std::string language(locale.substr(0, locale.find_first_of(".@")));
    if (language.empty() || language == "C" || language == "POSIX") return nullptr;

    UErrorCode status = U_ZERO_ERROR;
    char id[ULOC_FULLNAME_CAPACITY] = {};
    if (language.find('-') != std::string::npos)
        uloc_forLanguageTag(language.c_str(), id, sizeof id, nullptr, &status);
    else
        uloc_canonicalize(language.c_str(), id, sizeof id, &status);
    // An unknown language has no three-letter code; ICU would quietly fall back to its root.
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING ||
        *uloc_getISO3Language(id) == '\0')
        UnknownLocale(locale);

    const CollatorPtr base(ucol_open(id, &status));
    if (U_FAILURE(status)) UnknownLocale(locale);
    std::int32_t length = 0;
    const UChar* tailoring = ucol_getRules(base.get(), &length);
    std::u16string rules(tailoring, tailoring + length);
    rules += kQuietPunctuation;
    UParseError where;
    CollatorPtr collator(ucol_openRules(rules.data(), static_cast<std::int32_t>(rules.size()),
                                        UCOL_DEFAULT, UCOL_SECONDARY, &where, &status));
    ucol_setAttribute(collator.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, UCOL_OFF, &status);
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    if (U_FAILURE(status)) UnknownLocale(locale);
    return std::make_unique<IcuCollation>(std::move(collator), id);
}

std::string UserLocaleName() {
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return "";
}

}  // namespace ostrel
