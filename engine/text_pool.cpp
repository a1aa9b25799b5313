#include "text_pool.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "case_fold.h"

namespace ostrel {

// ---- IdVector ----

void IdVector::Widen() {
    for (std::uint64_t i = 0; i < narrow_.size(); ++i) wideIds_.push_back(narrow_[i]);
    narrow_.clear();
    wide_ = true;
}

void IdVector::push_back(std::uint64_t v) {
    if (!wide_ && v > 0xFFFFFFFFull) Widen();
    if (wide_) wideIds_.push_back(v);
    else narrow_.push_back(static_cast<std::uint32_t>(v));
}

void IdVector::set(std::uint64_t i, std::uint64_t v) {
    if (!wide_ && v > 0xFFFFFFFFull) Widen();
    if (wide_) wideIds_[i] = v;
    else narrow_[i] = static_cast<std::uint32_t>(v);
}

void IdVector::pop_back() {
    if (wide_) wideIds_.pop_back();
    else narrow_.pop_back();
}

void IdVector::clear() {
    narrow_.clear();
    wideIds_.clear();
    wide_ = false;
}

void IdVector::assign(const std::vector<std::uint64_t>& ids) {
    clear();
    for (std::uint64_t v : ids) push_back(v);
}

// ---- CountVector ----

std::uint64_t CountVector::Get(std::uint64_t cls) const {
    if (cls >= small_.size()) return 0;
    if (small_[cls] != kSpill) return small_[cls];
    for (const auto& [c, n] : large_)
        if (c == cls) return n;
    return 0;
}

void CountVector::Increment(std::uint64_t cls) {
    if (cls >= small_.size()) small_.resize(std::max<std::uint64_t>(cls + 1, small_.size() * 3 / 2));
    std::uint32_t& n = small_[cls];
    if (n < kSpill - 1) {
        ++n;
        return;
    }
    if (n == kSpill - 1) {
        n = kSpill;
        large_.emplace_back(cls, std::uint64_t{kSpill});
        return;
    }
    for (auto& [c, count] : large_)
        if (c == cls) ++count;
}

void CountVector::Decrement(std::uint64_t cls) {
    if (cls >= small_.size()) return;
    std::uint32_t& n = small_[cls];
    if (n == 0) return;
    if (n != kSpill) {
        --n;
        return;
    }
    for (auto it = large_.begin(); it != large_.end(); ++it) {
        if (it->first != cls) continue;
        if (--it->second < kSpill) {
            n = static_cast<std::uint32_t>(it->second);
            large_.erase(it);
        }
        return;
    }
}

void CountVector::clear() {
    small_.clear();
    small_.shrink_to_fit();
    large_.clear();
}

// ---- TextPool ----

namespace {

constexpr std::uint64_t kArenaChunk = std::uint64_t{1} << 20;
constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << 47) - 1;
constexpr std::uint64_t kVariantBit = std::uint64_t{1} << 47;
constexpr std::size_t kMaxText = 0xFFFF;

std::uint64_t Mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

std::uint64_t Hash(const char* s, std::size_t n) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s + i, 8);
        h = (h ^ w) * 0x100000001B3ull;
        h ^= h >> 29;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, s + i, n - i);
    h = (h ^ tail) * 0x100000001B3ull;
    return Mix(h);
}

}  // namespace

// Each text lies in the arena behind a header: a class's first text keeps the id (+1) of its
// latest other spelling, or 0; another spelling keeps its class, then the id (+1) of the next
// spelling of that class. The chain is short: it holds the letter-case spellings of one phrase.
struct TextPool::Impl {
    std::vector<std::unique_ptr<char[]>> arena;
    std::uint64_t arenaUsed = 0;  // offset of the next free byte

    // Fold classes: open addressing, each slot (tag << 48) | (id + 1) of the class's first text.
    std::vector<std::uint64_t> slots;
    std::uint64_t mask = 0;
    std::uint64_t classes = 0;

    bool haveLast = false;
    Id lastId = 0;

    std::string foldA, foldB;  // scratch for folding

    char* At(std::uint64_t offset) const {
        return arena[offset / kArenaChunk].get() + offset % kArenaChunk;
    }
    std::uint64_t Header(std::uint64_t textOffset, int word) const {
        std::uint64_t v;
        std::memcpy(&v, At(textOffset) - 8 * word, 8);
        return v;
    }
    void SetHeader(std::uint64_t textOffset, int word, std::uint64_t v) {
        std::memcpy(At(textOffset) - 8 * word, &v, 8);
    }

    // Stores a text behind a header of the given number of words; returns the text's offset.
    std::uint64_t Store(std::string_view text, int headerWords) {
        const std::uint64_t need = text.size() + 8 * headerWords;
        std::uint64_t pos = arenaUsed % kArenaChunk;
        if (arenaUsed / kArenaChunk >= arena.size() || pos + need > kArenaChunk) {
            arena.push_back(std::make_unique<char[]>(kArenaChunk));
            arenaUsed = (arena.size() - 1) * kArenaChunk;
            pos = 0;
        }
        char* p = arena.back().get() + pos;
        std::memset(p, 0, 8 * headerWords);
        if (!text.empty()) std::memcpy(p + 8 * headerWords, text.data(), text.size());
        const std::uint64_t offset = arenaUsed + 8 * headerWords;
        arenaUsed += need;
        return offset;
    }
};

TextPool::TextPool() : impl_(std::make_unique<Impl>()) {
    impl_->slots.assign(1024, 0);
    impl_->mask = 1023;
}

TextPool::~TextPool() = default;

std::string_view TextPool::Text(Id id) const {
    const std::uint64_t e = entries_[id];
    return {impl_->At(e & kOffsetMask), static_cast<std::size_t>(e >> 48)};
}

std::uint64_t TextPool::FoldClass(Id id) const {
    const std::uint64_t e = entries_[id];
    if (!(e & kVariantBit)) return id;
    return impl_->Header(e & kOffsetMask, 2);
}

TextPool::Id TextPool::Intern(std::string_view text) {
    Impl& m = *impl_;
    if (m.haveLast && Text(m.lastId) == text) return m.lastId;
    if (text.size() > kMaxText) throw std::length_error("text too long for the pool");

    m.foldA.resize(text.size());
    const std::size_t flen = FoldUtf8(text, m.foldA.data());
    const std::string_view folded(m.foldA.data(), flen);
    const std::uint64_t h = Hash(folded.data(), folded.size());
    const std::uint64_t tag = h >> 48;

    std::uint64_t i = h & m.mask;
    for (;; i = (i + 1) & m.mask) {
        const std::uint64_t slot = m.slots[i];
        if (slot == 0) break;
        if ((slot >> 48) != tag) continue;
        const Id rep = (slot & ((std::uint64_t{1} << 48) - 1)) - 1;
        const std::string_view repText = Text(rep);
        if (repText == text) {  // the common case: the very same text again
            m.haveLast = true, m.lastId = rep;
            return rep;
        }
        m.foldB.resize(repText.size());
        const std::size_t rlen = FoldUtf8(repText, m.foldB.data());
        if (std::string_view(m.foldB.data(), rlen) != folded) continue;
        // Same fold class, other letter case: one of the class's other spellings, or a new one.
        const std::uint64_t repOffset = entries_[rep] & kOffsetMask;
        for (std::uint64_t v = m.Header(repOffset, 1); v != 0;) {
            const Id variant = v - 1;
            if (Text(variant) == text) {
                m.haveLast = true, m.lastId = variant;
                return variant;
            }
            v = m.Header(entries_[variant] & kOffsetMask, 1);
        }
        const Id id = entries_.size();
        const std::uint64_t offset = m.Store(text, 2);
        m.SetHeader(offset, 2, rep);
        m.SetHeader(offset, 1, m.Header(repOffset, 1));
        m.SetHeader(repOffset, 1, id + 1);
        entries_.push_back(offset | kVariantBit | (std::uint64_t(text.size()) << 48));
        m.haveLast = true, m.lastId = id;
        return id;
    }

    const Id id = entries_.size();
    const std::uint64_t offset = m.Store(text, 1);
    entries_.push_back(offset | (std::uint64_t(text.size()) << 48));
    m.slots[i] = (tag << 48) | (id + 1);
    ++m.classes;
    m.haveLast = true, m.lastId = id;

    if (m.classes * 4 > m.slots.size() * 3) {
        // Grow and re-place every class; texts are re-folded in id order, which walks the arena
        // from start to end.
        std::vector<std::uint64_t>().swap(m.slots);
        const std::uint64_t size = (m.mask + 1) * 2;
        m.slots.assign(size, 0);
        m.mask = size - 1;
        for (Id r = 0; r < entries_.size(); ++r) {
            if (entries_[r] & kVariantBit) continue;
            const std::string_view t = Text(r);
            m.foldB.resize(t.size());
            const std::size_t n = FoldUtf8(t, m.foldB.data());
            const std::uint64_t hh = Hash(m.foldB.data(), n);
            std::uint64_t j = hh & m.mask;
            while (m.slots[j] != 0) j = (j + 1) & m.mask;
            m.slots[j] = ((hh >> 48) << 48) | (r + 1);
        }
    }
    return id;
}

bool TextPool::FindFoldClass(std::string_view text, std::uint64_t& cls) const {
    Impl& m = *impl_;
    if (m.haveLast && Text(m.lastId) == text) {
        cls = FoldClass(m.lastId);
        return true;
    }
    std::string folded;
    FoldUtf8(text, folded);
    const std::uint64_t h = Hash(folded.data(), folded.size());
    const std::uint64_t tag = h >> 48;
    std::string repFolded;
    for (std::uint64_t i = h & m.mask;; i = (i + 1) & m.mask) {
        const std::uint64_t slot = m.slots[i];
        if (slot == 0) return false;
        if ((slot >> 48) != tag) continue;
        const Id rep = (slot & ((std::uint64_t{1} << 48) - 1)) - 1;
        repFolded.clear();
        FoldUtf8(Text(rep), repFolded);
        if (repFolded == folded) {
            cls = rep;
            return true;
        }
    }
}

int TextPool::CompareFolded(Id a, Id b) const {
    const std::string_view ta = Text(a), tb = Text(b);
    const std::size_t n = std::min(ta.size(), tb.size());
    std::size_t i = 0;
    // ASCII needs no decoding; the first other byte hands over to full folding from there,
    // which starts on a character boundary in both texts.
    for (; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(ta[i]), cb = static_cast<unsigned char>(tb[i]);
        if ((ca | cb) >= 0x80) break;
        const unsigned char fa = (ca >= 'A' && ca <= 'Z') ? ca + 32 : ca;
        const unsigned char fb = (cb >= 'A' && cb <= 'Z') ? cb + 32 : cb;
        if (fa != fb) return fa < fb ? -1 : 1;
    }
    if (i == n) return ta.size() == tb.size() ? 0 : (ta.size() < tb.size() ? -1 : 1);
    thread_local std::string fa, fb;  // the sort may compare from more than one thread
    fa.clear(), fb.clear();
    FoldUtf8(ta.substr(i), fa);
    FoldUtf8(tb.substr(i), fb);
    const int c = fa.compare(fb);
    return c == 0 ? 0 : (c < 0 ? -1 : 1);
}

std::size_t TextPool::FoldedSlice(Id id, std::size_t depth, std::uint64_t& high,
                                  std::uint64_t& low) const {
    const std::string_view t = Text(id);
    char buffer[64];
    thread_local std::string folded;  // the sort may run on two threads
    const char* f;
    std::size_t n;
    if (depth == 0 && t.size() <= 32) {
        // Folding shortens a text by at most one byte a character, so thirty-two bytes of
        // text give at least the sixteen folded bytes needed here.
        n = FoldUtf8(t, buffer);
        f = buffer;
    } else {
        folded.clear();
        FoldUtf8(t, folded);
        n = folded.size();
        f = folded.data();
    }
    high = low = 0;
    for (std::size_t k = 0; k < 8; ++k) {
        const std::size_t a = depth + k, b = depth + 8 + k;
        high = (high << 8) | (a < n ? static_cast<unsigned char>(f[a]) : 0);
        low = (low << 8) | (b < n ? static_cast<unsigned char>(f[b]) : 0);
    }
    return n;
}

}  // namespace ostrel
