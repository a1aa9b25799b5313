// The order a Windows user gets is the one Windows itself compares by, for the user's locale:
// run under Wine with LANG naming the locale, OSTREL_EXPECTED_LOCALE the name Windows gives it.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/order/collation.h"
#include "engine/order/phrase_sort.h"
#include "engine/table/text_pool.h"
#include "win32/wide_string.h"

namespace ostrel {
namespace {

TEST(UserOrder, IsWhatCompareStringExFindsInOrder) {
    const char* expected = std::getenv("OSTREL_EXPECTED_LOCALE");
    ASSERT_NE(expected, nullptr);
    ASSERT_EQ(UserLocaleName(), expected);
    const std::unique_ptr<Collation> collation = CollationFor(UserLocaleName());
    ASSERT_TRUE(collation);

    const char* const words[] = {"zebra",
                                 "\xC3\xA5l",
                                 "\xC3\xA4gg",
                                 "\xC3\xB6l",
                                 "Apfel",
                                 "\xC3\x84pfel",
                                 "apfelsaft",
                                 "\xC3\xA1"
                                 "baco",
                                 "abacus",
                                 "co-op",
                                 "coop",
                                 "cork",
                                 "we're",
                                 "were",
                                 "car seat",
                                 "cars",
                                 "carseat",
                                 "\xC3\xBC"
                                 "ber",
                                 "uber",
                                 "Stra\xC3\x9F"
                                 "e",
                                 "strasse",
                                 "\xC3\xA9"
                                 "cole",
                                 "Eclair",
                                 "\xC5\x93"
                                 "uvre",
                                 "ol",
                                 "oz",
                                 "\xC3\xB6ga",
                                 "nube",
                                 "\xC3\xB1"
                                 "and\xC3\xBA",
                                 "10 kg",
                                 "9 kg",
                                 "a b",
                                 "ab"};
    TextPool pool;
    std::vector<TextPool::Id> ids;
    for (const char* first : words)
        for (const char* second : {"", " 1", " x", " \xC3\xB6"})
            ids.push_back(pool.Intern(std::string(first) + second));
    SortPhrases(ids, pool, 1, collation.get());
    for (std::size_t i = 1; i < ids.size(); ++i) {
        const std::wstring a = win32::Utf8ToWide(pool.Text(ids[i - 1]));
        const std::wstring b = win32::Utf8ToWide(pool.Text(ids[i]));
        EXPECT_NE(
            ::CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE | NORM_LINGUISTIC_CASING,
                              a.c_str(), -1, b.c_str(), -1, nullptr, nullptr, 0),
            CSTR_GREATER_THAN)
            << pool.Text(ids[i - 1]) << " before " << pool.Text(ids[i]);
    }
}

}  // namespace
}  // namespace ostrel
