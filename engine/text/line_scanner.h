#pragma once
// What a line of a keyword list is, what of it is kept, and how long it may be: the one rule
// that every way of reading a list follows.
//
// A line ends at CR, CR LF or LF; a last line with no line end is a line like the others. Its
// text is the line with the space character trimmed from both ends (tabs and other white space
// stay); a line left empty is blank. A text holds at most maxCharacters characters, counting
// the spaces inside it; a longer line is refused. The scanner reads UTF-8 text (every file is
// decoded to it first) in pieces that end on whole characters; a line may run across any
// number of pieces, and no more of it than the limit allows is ever held.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/order/text_words.h"
#include "engine/text/utf.h"

namespace ostrel {

// The space character trimmed from both ends of a line, and nothing else.
inline std::string_view TrimSpaces(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
}

class LineScanner {
  public:
    explicit LineScanner(std::size_t maxCharacters) : max_(maxCharacters) {}

    enum class Step {
        Line,     // a whole line: text is its trimmed text
        TooLong,  // the line holds more than the limit: text is its first limit + 1 characters
        More,     // the piece ended inside a line: scan the next piece
    };

    // Scans the text [p, end) for the rest of the current line and moves p past what it took:
    // past the line end after Line, to end after More. Where the line was cut off as too long,
    // p stays where the scan stopped, and the rest of the line is never looked at. When last
    // is true, end is the end of all the text, so a line that reaches it is whole. text stays
    // valid until the next call.
    Step Next(const char*& p, const char* end, bool last, std::string_view& text) {
        if (!inLine_) {
            const char* lineEnd = FindLineEnd(p, end);
            if (lineEnd != end || last) {
                const std::string_view trimmed =
                    TrimSpaces({p, static_cast<std::size_t>(lineEnd - p)});
                if (IsTooLong(trimmed)) {
                    text = FirstCharacters(trimmed, max_ + 1);
                    p = text.data() + text.size();
                    return Step::TooLong;
                }
                text = trimmed;
                p = PastLineEnd(lineEnd, end);
                return Step::Line;
            }
        }
        return Continue(p, end, last, text);
    }

    // True when the last line ended with a CR that was the last character of its piece: an LF
    // at the start of what follows is part of the same line end.
    bool EndedAtCr() const { return endedAtCr_; }

    // The first CR or LF in [p, end), or end; eight bytes at a time.
    static const char* FindLineEnd(const char* p, const char* end) {
        if constexpr (std::endian::native == std::endian::little) {
            for (; end - p >= 8; p += 8) {
                const std::uint64_t w = LoadWord(p);
                const std::uint64_t found =
                    ZeroBytes(w ^ ('\n' * kOnes)) | ZeroBytes(w ^ ('\r' * kOnes));
                if (found) return p + (std::countr_zero(found) >> 3);
            }
        }
        while (p != end && !IsLineEnd(*p)) ++p;
        return p;
    }

    // Where text read so far may be cut so that it holds whole lines only: just past its last
    // line end. A CR at its very end stays with the rest, since an LF read next belongs to the
    // same line end. 0 when no line ends in it before that.
    static std::size_t WholeLinesEnd(std::string_view text) {
        std::size_t cut = text.size();
        if (cut > 0 && text[cut - 1] == '\r') --cut;
        while (cut > 0 && !IsLineEnd(text[cut - 1])) --cut;
        return cut;
    }

    // After a line that EndedAtCr, the bytes at the start of the next text that still belong
    // to its line end: 1 for an LF, else 0.
    static std::size_t RestOfLineEnd(std::string_view next) {
        return !next.empty() && next.front() == '\n' ? 1 : 0;
    }

    // The most bytes that a text within a limit of this many characters may take: a
    // character takes one to four bytes.
    static constexpr std::size_t MostBytes(std::size_t maxCharacters) { return 4 * maxCharacters; }

    // Whether a trimmed text holds more characters than the limit.
    bool IsTooLong(std::string_view trimmed) const { return IsTooLong(trimmed, max_); }
    static bool IsTooLong(std::string_view text, std::size_t maxCharacters) {
        // Only the sizes between the limit and its most bytes need counting.
        return text.size() > maxCharacters &&
               (text.size() > MostBytes(maxCharacters) || CountCharacters(text) > maxCharacters);
    }

    // The first n characters of a text, or all of it.
    static std::string_view FirstCharacters(std::string_view text, std::size_t n);

  private:
    static bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
    const char* PastLineEnd(const char* lineEnd, const char* end) {
        endedAtCr_ = false;
        if (lineEnd == end) return end;
        if (*lineEnd == '\r') {
            if (lineEnd + 1 == end) {
                endedAtCr_ = true;
                return end;
            }
            if (lineEnd[1] == '\n') return lineEnd + 2;
        }
        return lineEnd + 1;
    }
    // A line that runs past the end of its piece: collected piece by piece, held only as far
    // as the limit needs.
    Step Continue(const char*& p, const char* end, bool last, std::string_view& text);

    const std::size_t max_;
    bool inLine_ = false;            // a line is being collected across pieces
    bool started_ = false;           // and a character other than a space was met in it
    std::string held_;               // its text so far, without the spaces that end it for now
    std::size_t pendingSpaces_ = 0;  // the spaces met after the held text
    bool endedAtCr_ = false;
};

}  // namespace ostrel
