#include "engine/text/code_page.h"

#include <array>
#include <unordered_map>

#include "engine/text/utf.h"

namespace ostrel {
namespace {

// Windows-1252 bytes 0x80..0x9F; the five undefined ones map to the C1 control of the same value.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

class Windows1252CodePage final : public CodePage {
  public:
    Windows1252CodePage() {
        for (unsigned b = 0; b < 256; ++b) {
            const char32_t c = (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : b;
            toUnicode_[b] = c;
            fromUnicode_[c] = static_cast<unsigned char>(b);
        }
    }
    void ToUtf8(std::string_view bytes, std::string& utf8) const override {
        utf8.clear();
        for (unsigned char b : bytes) {
            if (b < 0x80)
                utf8.push_back(static_cast<char>(b));
            else
                AppendUtf8(toUnicode_[b], utf8);
        }
    }
    bool FromUtf8(std::string_view utf8, std::string& bytes) const override {
        bytes.clear();
        std::size_t i = 0;
        while (i < utf8.size()) {
            const auto b = static_cast<unsigned char>(utf8[i]);
            if (b < 0x80) {
                bytes.push_back(static_cast<char>(b));
                ++i;
                continue;
            }
            char32_t c;
            if (!DecodeUtf8(utf8, i, c)) return false;
            auto it = fromUnicode_.find(c);
            if (it == fromUnicode_.end()) return false;
            bytes.push_back(static_cast<char>(it->second));
        }
        return true;
    }

  private:
    std::array<char32_t, 256> toUnicode_{};
    std::unordered_map<char32_t, unsigned char> fromUnicode_;
};

}  // namespace

const CodePage& Windows1252() {
    static const Windows1252CodePage codePage;
    return codePage;
}

}  // namespace ostrel
