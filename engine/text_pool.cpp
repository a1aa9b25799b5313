#include "text_pool.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

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

struct TextPool::Impl {
    std::vector<std::unique_ptr<char[]>> arena;
    std::uint64_t arenaUsed = 0;  // offset of the next free byte

    // Fold classes: open addressing, each slot (tag << 48) | (id + 1) of the class's first text.
    std::vector<std::uint64_t> slots;
    std::uint64_t mask = 0;
    std::uint64_t classes = 0;

    std::unordered_map<std::uint64_t, std::uint64_t> variantClass;  // variant id -> class
    std::unordered_map<std::string_view, std::uint64_t> variants;   // variant text -> id

    bool haveLast = false;
    Id lastId = 0;

    std::string foldA, foldB;  // scratch for folding

    std::uint64_t Store(std::string_view text) {
        std::uint64_t pos = arenaUsed % kArenaChunk;
        if (arena.empty() || pos + text.size() > kArenaChunk) {
            arena.push_back(std::make_unique<char[]>(kArenaChunk));
            arenaUsed = (arena.size() - 1) * kArenaChunk;
            pos = 0;
        }
        std::memcpy(arena.back().get() + pos, text.data(), text.size());
        const std::uint64_t offset = arenaUsed;
        arenaUsed += text.size();
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
    const std::uint64_t offset = e & kOffsetMask;
    const std::size_t len = static_cast<std::size_t>(e >> 48);
    return {impl_->arena[offset / kArenaChunk].get() + offset % kArenaChunk, len};
}

std::uint64_t TextPool::FoldClass(Id id) const {
    if (!(entries_[id] & kVariantBit)) return id;
    return impl_->variantClass.at(id);
}

namespace {

// Finds the slot of a folded text's class; returns the slot index, and whether it is taken.
struct Probe {
    std::uint64_t index;
    bool found;
};

}  // namespace

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
        m.foldB.resize(repText.size());
        const std::size_t rlen = FoldUtf8(repText, m.foldB.data());
        if (std::string_view(m.foldB.data(), rlen) != folded) continue;
        // Same fold class: the very text, or a spelling that differs in letter case.
        if (repText == text) {
            m.haveLast = true, m.lastId = rep;
            return rep;
        }
        auto it = m.variants.find(text);
        if (it != m.variants.end()) {
            m.haveLast = true, m.lastId = it->second;
            return it->second;
        }
        const Id id = entries_.size();
        const std::uint64_t offset = m.Store(text);
        entries_.push_back(offset | kVariantBit | (std::uint64_t(text.size()) << 48));
        m.variantClass.emplace(id, rep);
        m.variants.emplace(Text(id), id);
        m.haveLast = true, m.lastId = id;
        return id;
    }

    const Id id = entries_.size();
    const std::uint64_t offset = m.Store(text);
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
    // The sort may compare from more than one thread.
    thread_local std::string fa, fb;
    fa.clear(), fb.clear();
    FoldUtf8(Text(a), fa);
    FoldUtf8(Text(b), fb);
    const std::size_t na = fa.size(), nb = fb.size();
    const int c = std::memcmp(fa.data(), fb.data(), std::min(na, nb));
    if (c != 0) return c < 0 ? -1 : 1;
    return na < nb ? -1 : (na > nb ? 1 : 0);
}

std::uint64_t TextPool::FoldedPrefix(Id id) const {
    const std::string_view t = Text(id);
    // Folding shortens a text by at most one byte a character, so sixteen bytes of text give
    // at least eight folded ones.
    char f[16] = {};
    const std::size_t n = FoldUtf8(t.substr(0, std::min<std::size_t>(t.size(), 16)), f);
    std::uint64_t p = 0;
    for (std::size_t k = 0; k < 8; ++k)
        p = (p << 8) | (k < n ? static_cast<unsigned char>(f[k]) : 0);
    return p;
}

}  // namespace ostrel
