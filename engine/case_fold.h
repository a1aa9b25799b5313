#pragma once
// Letter-case folding for the working table's equality and order. Capital letters of ASCII,
// Latin-1 Supplement, Latin Extended-A, Greek and Cyrillic fold to their small letter (the
// one-to-one mapping); every other character compares exactly. Texts are UTF-8; bytes that do
// not form a character are kept as they are.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

// The small letter of a code point, or the code point itself.
char32_t FoldCodePoint(char32_t c);

// Appends the folded form of a UTF-8 text to out. The folded form is never longer than the text.
void FoldUtf8(std::string_view text, std::string& out);

// Folds into a buffer of at least text.size() bytes; returns the folded length.
std::size_t FoldUtf8(std::string_view text, char* out);

// Number of Unicode characters in a UTF-8 text (a byte that starts no character counts as one).
std::size_t CountCharacters(std::string_view text);

}  // namespace ostrel
