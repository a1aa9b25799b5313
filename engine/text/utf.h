#pragma once
// UTF-8 helpers. Texts read from UTF-16 files may hold unpaired surrogates; they are
// kept as three-byte sequences so that writing them back gives the same units.
#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

void AppendUtf8(char32_t c, std::string& out);

// Whether a byte continues a sequence (10xxxxxx) rather than beginning a character.
constexpr bool IsUtf8Continuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}
constexpr bool IsUtf8Continuation(char c) {
    return IsUtf8Continuation(static_cast<unsigned char>(c));
}

// The bytes of the sequence that a lead byte begins: 2 to 4 for the lead bytes of valid UTF-8,
// 1 for anything else.
constexpr std::size_t Utf8SequenceLength(unsigned char lead) {
    return lead >= 0xC2 && lead <= 0xDF   ? 2
           : lead >= 0xE0 && lead <= 0xEF ? 3
           : lead >= 0xF0 && lead <= 0xF4 ? 4
                                          : 1;
}

// Bytes at the end of a text that begin a character not yet complete: where a piece of a
// stream may be cut so that it ends on a whole character.
std::size_t UnfinishedUtf8Tail(std::string_view text);

// Number of characters in a UTF-8 text. A character is a sequence that DecodeUtf8 accepts
// (surrogate code points included, as read from UTF-16); every other byte counts as one, as
// the code page would read it.
std::size_t CountCharacters(std::string_view text);

// Decodes one character at text[i] (surrogate code points accepted) and advances i. Returns
// false on a malformed sequence, leaving i unchanged.
bool DecodeUtf8(std::string_view text, std::size_t& i, char32_t& c);

// Strict validity: no overlong forms, no surrogates, nothing past U+10FFFF.
class Utf8Validator {
  public:
    // Feeds the next part of a byte stream; returns false once the stream is known invalid.
    bool Feed(std::string_view bytes);
    // True when everything fed is valid and no sequence is left unfinished.
    bool Finish() const { return valid_ && need_ == 0; }

  private:
    bool valid_ = true;
    int need_ = 0;             // continuation bytes still expected
    unsigned char lo_ = 0x80;  // bounds of the next continuation byte
    unsigned char hi_ = 0xBF;
};

}  // namespace ostrel
