#include "engine/utf.h"

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
    std::size_t len;
    char32_t min;
    if (b < 0x80) {
        c = b;
        ++i;
        return true;
    } else if (b >= 0xC2 && b <= 0xDF) {
        len = 2, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4, c = b & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (i + len > n) return false;
    for (std::size_t k = 1; k < len; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) return false;
        c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (c < min || c > 0x10FFFF) return false;
    i += len;
    return true;
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
            lo_ = 0x80, hi_ = 0xBF;
            if (b >= 0xC2 && b <= 0xDF) {
                need_ = 1;
            } else if (b >= 0xE0 && b <= 0xEF) {
                need_ = 2;
                if (b == 0xE0)
                    lo_ = 0xA0;  // no overlong forms
                else if (b == 0xED)
                    hi_ = 0x9F;  // no surrogates
            } else if (b >= 0xF0 && b <= 0xF4) {
                need_ = 3;
                if (b == 0xF0)
                    lo_ = 0x90;
                else if (b == 0xF4)
                    hi_ = 0x8F;  // nothing past U+10FFFF
            } else {
                return valid_ = false;
            }
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
