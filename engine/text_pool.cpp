#include "text_pool.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "case_fold.h"
#include "large_memory.h"

namespace ostrel {
namespace {

constexpr std::uint64_t kArenaChunk = kLargePage;
constexpr std::uint64_t kClassMask = (std::uint64_t{1} << 47) - 1;
constexpr std::uint64_t kVariantBit = std::uint64_t{1} << 47;
constexpr std::uint64_t kLow48 = (std::uint64_t{1} << 48) - 1;
constexpr std::size_t kMaxText = 0xFFFF;
constexpr std::uint64_t kAheadRing = 16;

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
    if (n > i) std::memcpy(&tail, s + i, n - i);
    h = (h ^ tail) * 0x100000001B3ull;
    return Mix(h);
}

// Open addressing with linear probing. A slot holds (tag << 48) | (arena offset + 1): the top
// sixteen bits of the hash weed out most mismatches before the text is touched.
class SlotTable {
  public:
    void Reset(std::uint64_t size) {
        slots_ = LargeArray<std::uint64_t>();
        slots_ = LargeArray<std::uint64_t>(size);
        mask_ = size - 1;
        used_ = 0;
    }
    void Release() {
        slots_ = LargeArray<std::uint64_t>();
        mask_ = 0;
        used_ = 0;
    }
    bool Empty() const { return slots_.empty(); }
    std::uint64_t Size() const { return slots_.size(); }
    bool NeedsGrowth() const { return used_ * 4 > slots_.size() * 3; }
    std::uint64_t Home(std::uint64_t hash) const { return hash & mask_; }
    std::uint64_t Next(std::uint64_t i) const { return (i + 1) & mask_; }
    std::uint64_t At(std::uint64_t i) const { return slots_[i]; }
    const std::uint64_t* Address(std::uint64_t hash) const { return &slots_[hash & mask_]; }
    void Put(std::uint64_t i, std::uint64_t hash, std::uint64_t offset) {
        slots_[i] = ((hash >> 48) << 48) | (offset + 1);
        ++used_;
    }
    void Insert(std::uint64_t hash, std::uint64_t offset) {
        std::uint64_t i = Home(hash);
        while (slots_[i] != 0) i = Next(i);
        Put(i, hash, offset);
    }
    static bool TagMatches(std::uint64_t slot, std::uint64_t hash) {
        return (slot >> 48) == (hash >> 48);
    }
    static std::uint64_t Offset(std::uint64_t slot) { return (slot & kLow48) - 1; }

  private:
    LargeArray<std::uint64_t> slots_;
    std::uint64_t mask_ = 0;
    std::uint64_t used_ = 0;
};

std::uint64_t TableSizeFor(std::uint64_t entries) {
    std::uint64_t size = 1024;
    while (size * 3 < entries * 4 + 4) size *= 2;
    return size;
}

}  // namespace

// Each text lies once in the arena, behind one header word: its fold class, whether it is the
// class's first text (bit 47 clear) or another spelling (set), and its length (high 16 bits).
// A text's id is its offset in the arena. Two indexes lead to the texts: one by the exact text,
// which a repeated line finds in one look-up, and one by the folded text, holding each class's
// first text, for a spelling met for the first time.
struct TextPool::Impl {
    std::vector<LargeArray<char>> arena;
    std::vector<std::uint64_t> chunkUsed;  // bytes in use in each arena chunk
    std::uint64_t texts = 0;
    std::uint64_t classes = 0;

    SlotTable exact;   // every text, by its exact bytes
    SlotTable folded;  // each fold class's first text, by its folded form
    std::uint64_t reserve = 0;

    bool haveLast = false;
    Id lastId = 0;
    std::string_view lastText;

    // Texts announced by Prefetch, in the order they will be interned, with their hashes.
    Ahead ahead[kAheadRing];
    const CountVector* classHint = nullptr;
    std::uint64_t aheadHead = 0, aheadTail = 0;

    std::string foldA, foldB;  // scratch for folding

    char* At(std::uint64_t offset) const {
        return arena[offset / kArenaChunk].data() + offset % kArenaChunk;
    }
    std::uint64_t Header(std::uint64_t textOffset) const {
        std::uint64_t v;
        std::memcpy(&v, At(textOffset) - 8, 8);
        return v;
    }
    std::string_view TextAt(std::uint64_t offset) const {
        return {At(offset), static_cast<std::size_t>(Header(offset) >> 48)};
    }

    std::uint64_t Store(std::string_view text, std::uint64_t header) {
        const std::uint64_t need = text.size() + 8;
        if (arena.empty() || chunkUsed.back() + need > kArenaChunk) {
            arena.emplace_back(kArenaChunk);
            chunkUsed.push_back(0);
        }
        const std::uint64_t pos = chunkUsed.back();
        char* p = arena.back().data() + pos;
        std::memcpy(p, &header, 8);
        if (!text.empty()) std::memcpy(p + 8, text.data(), text.size());
        chunkUsed.back() += need;
        ++texts;
        return (arena.size() - 1) * kArenaChunk + pos + 8;
    }

    std::string_view Fold(std::string_view text, std::string& buffer) const {
        buffer.resize(text.size());
        return {buffer.data(), FoldUtf8(text, buffer.data())};
    }
};

TextPool::TextPool() : impl_(std::make_unique<Impl>()) {}

TextPool::~TextPool() = default;

void TextPool::Reserve(std::uint64_t texts) {
    impl_->reserve = texts;
}

std::string_view TextPool::Text(Id id) const {
    return impl_->TextAt(id);
}

std::uint64_t TextPool::FoldClass(Id id) const {
    return impl_->Header(id) & kClassMask;
}

void TextPool::RebuildIndexes(std::uint64_t texts, std::uint64_t classes) {
    Impl& m = *impl_;
    m.exact.Reset(TableSizeFor(std::max(texts, m.reserve)));
    m.folded.Reset(TableSizeFor(std::max(classes, m.reserve)));
    // Walks the arena from start to end.
    for (std::size_t c = 0; c < m.arena.size(); ++c) {
        for (std::uint64_t pos = 0; pos < m.chunkUsed[c];) {
            const std::uint64_t offset = c * kArenaChunk + pos + 8;
            const std::uint64_t header = m.Header(offset);
            const std::string_view text(m.At(offset), static_cast<std::size_t>(header >> 48));
            m.exact.Insert(Hash(text.data(), text.size()), offset);
            if (!(header & kVariantBit)) {
                const std::string_view f = m.Fold(text, m.foldB);
                m.folded.Insert(Hash(f.data(), f.size()), offset);
            }
            pos += 8 + text.size();
        }
    }
    m.aheadHead = m.aheadTail = 0;  // their slots have moved
}

void TextPool::SetClassHint(const CountVector* counts) {
    impl_->classHint = counts;
}

void TextPool::ClearClassHint(const CountVector* counts) {
    if (impl_->classHint == counts) impl_->classHint = nullptr;
}

// A look-up is fetched in stages, each a few texts after the one before, so that what a stage
// reads has arrived by then: the slot of the exact text; then the text it leads to, or, for a
// spelling met for the first time, the slot of the folded text; then the class's first text.
void TextPool::Prefetch(std::string_view text) {
    Impl& m = *impl_;
    if (m.exact.Empty() || m.aheadTail - m.aheadHead == kAheadRing) return;
    Ahead& a = m.ahead[m.aheadTail % kAheadRing];
    a.length = text.size();
    a.verified = text.size() <= kAheadText;  // a longer text only holds its place in the order
    a.stage = 0;
    if (a.verified) {
        std::memcpy(a.text, text.data(), text.size());
        a.hash = Hash(text.data(), text.size());
        a.foldedHash = 0;
        a.haveFolded = false;
        PrefetchMemory(m.exact.Address(a.hash));
    }
    ++m.aheadTail;
    constexpr std::uint64_t kStageGap = 3;
    if (m.aheadTail - m.aheadHead > kStageGap)
        Advance(m.ahead[(m.aheadTail - 1 - kStageGap) % kAheadRing]);
    if (m.aheadTail - m.aheadHead > 2 * kStageGap)
        Advance(m.ahead[(m.aheadTail - 1 - 2 * kStageGap) % kAheadRing]);
}

void TextPool::Advance(Ahead& a) const {
    Impl& m = *impl_;
    if (!a.verified) return;
    if (a.stage == 0) {
        a.stage = 1;
        const std::uint64_t slot = *m.exact.Address(a.hash);
        if (slot != 0 && SlotTable::TagMatches(slot, a.hash)) {
            a.found = SlotTable::Offset(slot) + 1;
            PrefetchMemory(m.At(a.found - 1) - 8);
            return;
        }
        a.found = 0;
        char folded[kAheadText];
        a.foldedHash = Hash(folded, FoldUtf8({a.text, a.length}, folded));
        a.haveFolded = true;
        PrefetchMemory(m.folded.Address(a.foldedHash));
    } else if (a.stage == 1) {
        a.stage = 2;
        if (a.found != 0) {
            if (m.classHint) m.classHint->Prefetch(m.Header(a.found - 1) & kClassMask);
            return;
        }
        const std::uint64_t slot = *m.folded.Address(a.foldedHash);
        if (slot != 0 && SlotTable::TagMatches(slot, a.foldedHash))
            PrefetchMemory(m.At(SlotTable::Offset(slot)) - 8);
    }
}

TextPool::Id TextPool::Intern(std::string_view text) {
    Impl& m = *impl_;
    // The text announced next, if it is this one.
    const Ahead* announced = nullptr;
    if (m.aheadHead != m.aheadTail) {
        const Ahead& a = m.ahead[m.aheadHead % kAheadRing];
        if (a.length == text.size() &&
            (!a.verified || std::memcmp(a.text, text.data(), text.size()) == 0)) {
            announced = &a;
            ++m.aheadHead;
        } else if (m.aheadTail - m.aheadHead == kAheadRing) {
            m.aheadHead = m.aheadTail = 0;  // announced texts that never came: start over
        }
    }
    if (m.haveLast && m.lastText == text) return m.lastId;
    if (text.size() > kMaxText) throw std::length_error("text too long for the pool");
    if (m.exact.Empty()) RebuildIndexes(m.texts, m.classes);

    // The text itself: a repeat is found here.
    const std::uint64_t h =
        announced && announced->verified ? announced->hash : Hash(text.data(), text.size());
    std::uint64_t i = m.exact.Home(h);
    for (std::uint64_t slot; (slot = m.exact.At(i)) != 0; i = m.exact.Next(i)) {
        if (!SlotTable::TagMatches(slot, h)) continue;
        const std::uint64_t offset = SlotTable::Offset(slot);
        if ((m.Header(offset) >> 48) == text.size() &&
            std::memcmp(m.At(offset), text.data(), text.size()) == 0) {
            m.haveLast = true, m.lastId = offset, m.lastText = {m.At(offset), text.size()};
            return offset;
        }
    }
    const std::uint64_t exactSlot = i;

    // A spelling met for the first time: its class, if another spelling has it already.
    const std::string_view folded = m.Fold(text, m.foldA);
    const std::uint64_t hf = announced && announced->verified && announced->haveFolded
                                 ? announced->foldedHash
                                 : Hash(folded.data(), folded.size());
    std::uint64_t j = m.folded.Home(hf);
    std::uint64_t header = std::uint64_t(text.size()) << 48;
    bool variant = false;
    for (std::uint64_t slot; (slot = m.folded.At(j)) != 0; j = m.folded.Next(j)) {
        if (!SlotTable::TagMatches(slot, hf)) continue;
        const std::uint64_t offset = SlotTable::Offset(slot);
        if (m.Fold(m.TextAt(offset), m.foldB) == folded) {
            header |= (m.Header(offset) & kClassMask) | kVariantBit;
            variant = true;
            break;
        }
    }
    if (!variant) header |= m.classes++;

    const std::uint64_t offset = m.Store(text, header);
    m.exact.Put(exactSlot, h, offset);
    if (!variant) m.folded.Put(j, hf, offset);
    m.haveLast = true, m.lastId = offset, m.lastText = {m.At(offset), text.size()};
    if (m.exact.NeedsGrowth() || m.folded.NeedsGrowth())
        RebuildIndexes(2 * m.exact.Size() * 3 / 4, 2 * m.folded.Size() * 3 / 4);
    return offset;
}

bool TextPool::FindFoldClass(std::string_view text, std::uint64_t& cls) const {
    Impl& m = *impl_;
    if (m.haveLast && m.lastText == text) {
        cls = FoldClass(m.lastId);
        return true;
    }
    if (m.folded.Empty()) return false;  // the indexes are made with the first text
    std::string foldedText, repFolded;
    FoldUtf8(text, foldedText);
    const std::uint64_t h = Hash(foldedText.data(), foldedText.size());
    for (std::uint64_t i = m.folded.Home(h), slot; (slot = m.folded.At(i)) != 0;
         i = m.folded.Next(i)) {
        if (!SlotTable::TagMatches(slot, h)) continue;
        const std::uint64_t offset = SlotTable::Offset(slot);
        repFolded.clear();
        FoldUtf8(m.TextAt(offset), repFolded);
        if (repFolded == foldedText) {
            cls = m.Header(offset) & kClassMask;
            return true;
        }
    }
    return false;
}

std::size_t TextPool::FoldedSlice(Id id, std::size_t depth, std::uint64_t& high,
                                  std::uint64_t& low) const {
    const std::string_view t = Text(id);
    if (depth == 0) {
        // Plain ASCII, the usual case, folds as the words are built.
        high = low = 0;
        std::size_t k = 0;
        for (; k < 16 && k < t.size(); ++k) {
            const auto c = static_cast<unsigned char>(t[k]);
            if (c >= 0x80) break;
            const std::uint64_t f = (c >= 'A' && c <= 'Z') ? c + 32 : c;
            if (k < 8)
                high |= f << (8 * (7 - k));
            else
                low |= f << (8 * (15 - k));
        }
        if (k == 16 || k == t.size()) {
            // The folded length differs from the text's only through characters past these.
            if (k == t.size()) return k;
            bool ascii = true;
            for (std::size_t r = k; r < t.size() && ascii; ++r)
                ascii = static_cast<unsigned char>(t[r]) < 0x80;
            if (ascii) return t.size();
        }
    }
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
