#include "engine/text/line_scanner.h"

#include <algorithm>

namespace ostrel {

std::string_view LineScanner::FirstCharacters(std::string_view text, std::size_t n) {
    std::size_t i = 0;
    for (std::size_t count = 0; i < text.size(); ++i) {
        if (!IsUtf8Continuation(text[i]) && count++ == n) break;
    }
    return text.substr(0, i);
}

LineScanner::Step LineScanner::Continue(const char*& p, const char* end, bool last,
                                        std::string_view& text) {
    if (!inLine_) {
        inLine_ = true;
        started_ = false;
        held_.clear();
        pendingSpaces_ = 0;
    }
    const char* lineEnd = FindLineEnd(p, end);
    std::string_view s(p, static_cast<std::size_t>(lineEnd - p));
    if (!started_) {
        const std::size_t first = s.find_first_not_of(' ');
        s.remove_prefix(first == std::string_view::npos ? s.size() : first);
        started_ = !s.empty();
    }
    const std::size_t mostBytes = MostBytes(max_);
    while (!s.empty()) {
        const std::size_t word = std::min(s.find(' '), s.size());
        if (word > 0) {
            // Characters after the spaces met so far: those spaces lie inside the text.
            if (held_.size() + pendingSpaces_ <= mostBytes) {
                held_.append(pendingSpaces_, ' ');
                std::size_t take = std::min(word, mostBytes + 1 - held_.size());
                while (take < word && IsUtf8Continuation(s[take])) ++take;
                held_.append(s.substr(0, take));
            } else {
                held_.append(max_ + 1, ' ');  // the spaces alone exceed the limit
            }
            pendingSpaces_ = 0;
            if (IsTooLong(held_)) {
                inLine_ = false;
                text = FirstCharacters(held_, max_ + 1);
                p = s.data() + word;
                return Step::TooLong;
            }
            s.remove_prefix(word);
        }
        const std::size_t spaces = std::min(s.find_first_not_of(' '), s.size());
        pendingSpaces_ += spaces;
        s.remove_prefix(spaces);
    }
    if (lineEnd == end && !last) {
        p = end;
        return Step::More;
    }
    inLine_ = false;
    text = held_;
    p = PastLineEnd(lineEnd, end);
    return Step::Line;
}

}  // namespace ostrel
