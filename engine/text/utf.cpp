#include "engine/text/utf.h"

#include <cstdint>
#include <cstring>

namespace ostrel {

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool DecodeUtf8(std::string_view text, std::size_t& i, char32_t& c) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    if (i >= n) return false;
    const unsigned char b = s[i];
    if (b < 0x80) {
        c = b;
        ++i;
        return true;
    }
    const std::size_t len = Utf8SequenceLength(b);
    if (len == 1 || i + len > n) return false;
    // The lowest code point of each length: anything below is an overlong form.
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    c = b & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        if (!IsUtf8Continuation(s[i + k])) return false;
        c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (c < kLeast[len] || c > 0x10FFFF) return false;
    i += len;
    return true;
}

std::size_t UnfinishedUtf8Tail(std::string_view text) {
    const std::size_t n = text.size();
    for (std::size_t back = 1; back <= 4 && back <= n; ++back) {
        const auto b = static_cast<unsigned char>(text[n - back]);
        if (IsUtf8Continuation(b)) continue;  // look further back for the lead byte
        return Utf8SequenceLength(b) > back ? back : 0;
    }
    return 0;
}

std::size_t CountCharacters(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        char32_t c;
        if (!DecodeUtf8(text, i, c)) ++i;  // a byte of no character: one on its own
    }
    return count;
}

bool Utf8Validator::Feed(std::string_view bytes) {
    if (!valid_) return false;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (need_ == 0) {
            // Plain ASCII goes eight bytes at a time.
            while (i + 8 <= n) {
                std::uint64_t w;
                std::memcpy(&w, s + i, 8);
                if (w & 0x8080808080808080ull) break;
                i += 8;
            }
            if (i >= n) break;
            const unsigned char b = s[i++];
            if (b < 0x80) continue;
            const std::size_t len = Utf8SequenceLength(b);
            if (len == 1) return valid_ = false;
            need_ = static_cast<int>(len) - 1;
            lo_ = 0x80, hi_ = 0xBF;
            if (b == 0xE0)
                lo_ = 0xA0;  // no overlong forms
            else if (b == 0xED)
                hi_ = 0x9F;  // no surrogates
            else if (b == 0xF0)
                lo_ = 0x90;
            else if (b == 0xF4)
                hi_ = 0x8F;  // nothing past U+10FFFF
        } else {
            const unsigned char b = s[i++];
            if (b < lo_ || b > hi_) return valid_ = false;
            lo_ = 0x80, hi_ = 0xBF;
            --need_;
        }
    }
    return true;
}

}  // namespace ostrel
