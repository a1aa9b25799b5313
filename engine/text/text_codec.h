#pragma once
// The encodings of a list: what its byte-order mark says, how its code units are laid out
// (UTF-16 and UTF-32: their width, byte order and surrogates), and the code page. Text inside
// the engine is UTF-8 (engine/text/utf.h); this turns the file's bytes into it and back.
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/text/code_page.h"

namespace ostrel {

// The encodings that lists are read in and results written back in.
enum class TextEncoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, Utf32LE, Utf32BE, Ansi };

// What the byte-order mark at the start of a file says it is, and the mark's length in
// markBytes; Utf8 and 0 when it starts with none. FF FE 00 00 is UTF-32 little-endian, not
// UTF-16 with a NUL.
TextEncoding EncodingOfMark(std::string_view head, std::size_t& markBytes);

// The mark a file written in the encoding starts with; none for UTF-8 without one and the code
// page.
std::string_view MarkOf(TextEncoding encoding);

// Bytes of one code unit: 2 for UTF-16, 4 for UTF-32, 1 for UTF-8 and the code page.
std::size_t UnitBytes(TextEncoding encoding);

// Decodes UTF-16 or UTF-32 bytes to UTF-8, a piece at a time. A surrogate pair makes one
// character; a surrogate without its partner, in UTF-16 or as a UTF-32 unit, stays a code point
// of its own, so that writing it back gives the same units.
class UnitDecoder {
  public:
    explicit UnitDecoder(TextEncoding encoding);

    // Appends the text of the whole units at the start of bytes to out and returns the bytes
    // it took; the rest waits for more. A UTF-32 value above U+10FFFF is no character and
    // nothing after it can be trusted: the decoding stops before it, and BadUnit says so.
    std::size_t Decode(std::string_view bytes, std::string& out);
    bool BadUnit() const { return badUnit_; }
    // At the end of the text: a surrogate still waiting for its partner is kept alone.
    void Finish(std::string& out);

  private:
    std::size_t width_;
    bool bigEndian_;
    bool badUnit_ = false;
    char16_t highSurrogate_ = 0;  // of a UTF-16 pair whose second unit is still to come
};

// Decodes code-page bytes to UTF-8, appending to out, as far as they may be cut without
// splitting a character: all of them at the end of the text (atEnd). Returns the bytes taken;
// scratch is reused between calls.
std::size_t DecodeCodePage(std::string_view bytes, bool atEnd, const CodePage& codePage,
                           std::string& scratch, std::string& out);

// UTF-8 text in another encoding, no mark: out is replaced. A byte that begins no character
// goes as the character of its value, as the code page would read it. False when the code page
// has no form for a character.
bool EncodeText(std::string_view utf8, TextEncoding encoding, const CodePage& codePage,
                std::string& out);

// The line end written after each line, CR LF, in the encoding.
std::string_view LineEndIn(TextEncoding encoding);

}  // namespace ostrel
