#include "text_pool.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "case_fold.h"
#include "large_memory.h"
#include "slot_table.h"
#include "text_hash.h"
#include "text_words.h"

namespace ostrel {
namespace {

constexpr std::uint64_t kArenaChunk = kLargePage;
constexpr std::uint64_t kClassMask = (std::uint64_t{1} << 47) - 1;
constexpr std::uint64_t kVariantBit = std::uint64_t{1} << 47;
constexpr std::uint64_t kLow48 = (std::uint64_t{1} << 48) - 1;
constexpr std::size_t kMaxText = 0xFFFF;

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

    bool haveLast = false;
    Id lastId = 0;
    std::string_view lastText;

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

std::string_view TextPool::Text(Id id) const {
    return impl_->TextAt(id);
}

bool TextPool::Empty() const {
    return impl_->texts == 0;
}

void TextPool::PrefetchText(Id id) const {
    PrefetchRecord(impl_->At(id) - 8);
}

void TextPool::Adopt(TextBlocks& blocks, const std::function<void(Id)>& adopted) {
    Impl& m = *impl_;
    const Id base = m.arena.size() * kArenaChunk;
    for (std::size_t b = 0; b < blocks.blocks_.size(); ++b) {
        m.arena.push_back(std::move(blocks.blocks_[b]));
        m.chunkUsed.push_back(blocks.used_[b]);
    }
    blocks.blocks_.clear();
    blocks.used_.clear();
    if (!m.exact.Empty()) {
        m.exact.Release();
        m.folded.Release();
    }
    m.haveLast = false;
    for (std::size_t c = base / kArenaChunk; c < m.arena.size(); ++c) {
        for (std::uint64_t pos = 0; pos < m.chunkUsed[c];) {
            char* record = m.arena[c].data() + pos;
            std::uint64_t header;
            std::memcpy(&header, record, 8);
            header = (header & ~kLow48) | m.classes++;
            std::memcpy(record, &header, 8);
            ++m.texts;
            adopted(c * kArenaChunk + pos + 8);
            pos += 8 + (header >> 48);
        }
    }
}

TextBlocks::Offset TextBlocks::Append(std::string_view text) {
    if (text.size() > kMaxText) throw std::length_error("text too long for the pool");
    const std::uint64_t need = 8 + text.size();
    if (blocks_.empty() || used_.back() + need > kArenaChunk) {
        blocks_.emplace_back(kArenaChunk);
        used_.push_back(0);
    }
    char* record = blocks_.back().data() + used_.back();
    const std::uint64_t header = std::uint64_t(text.size()) << 48;  // its class comes with Adopt
    std::memcpy(record, &header, 8);
    if (!text.empty()) std::memcpy(record + 8, text.data(), text.size());
    const Offset offset = (blocks_.size() - 1) * kArenaChunk + used_.back() + 8;
    used_.back() += need;
    return offset;
}

const char* TextBlocks::Address(Offset offset) const {
    return blocks_[offset / kArenaChunk].data() + offset % kArenaChunk - 8;
}

std::string_view TextBlocks::Text(Offset offset) const {
    std::uint64_t header;
    std::memcpy(&header, Address(offset), 8);
    return {Address(offset) + 8, static_cast<std::size_t>(header >> 48)};
}

TextBlocks::Offset TextBlocks::Settle(std::size_t block, std::uint64_t pos) const {
    while (block < blocks_.size() && pos >= used_[block]) ++block, pos = 0;
    return block < blocks_.size() ? block * kArenaChunk + pos + 8 : kEnd;
}

TextBlocks::Offset TextBlocks::After(Offset offset) const {
    const std::size_t block = offset / kArenaChunk;
    return Settle(block, offset % kArenaChunk + Text(offset).size());
}

std::uint64_t TextPool::FoldClass(Id id) const {
    return impl_->Header(id) & kClassMask;
}

void TextPool::RebuildIndexes(std::uint64_t texts, std::uint64_t classes) {
    Impl& m = *impl_;
    m.exact.Reset(TableSizeFor(texts));
    m.folded.Reset(TableSizeFor(classes));
    // Walks the arena from start to end.
    for (std::size_t c = 0; c < m.arena.size(); ++c) {
        for (std::uint64_t pos = 0; pos < m.chunkUsed[c];) {
            const std::uint64_t offset = c * kArenaChunk + pos + 8;
            const std::uint64_t header = m.Header(offset);
            const std::string_view text(m.At(offset), static_cast<std::size_t>(header >> 48));
            m.exact.Insert(HashText(text.data(), text.size()), offset);
            if (!(header & kVariantBit)) {
                const std::string_view f = m.Fold(text, m.foldB);
                m.folded.Insert(HashText(f.data(), f.size()), offset);
            }
            pos += 8 + text.size();
        }
    }
}

TextPool::Id TextPool::Intern(std::string_view text) {
    Impl& m = *impl_;
    if (m.haveLast && m.lastText == text) return m.lastId;
    if (text.size() > kMaxText) throw std::length_error("text too long for the pool");
    if (m.exact.Empty()) RebuildIndexes(m.texts, m.classes);

    // The text itself: a repeat is found here.
    const std::uint64_t h = HashText(text.data(), text.size());
    const SlotTable::Probe same = m.exact.Find(h, [&](std::uint64_t offset) {
        return (m.Header(offset) >> 48) == text.size() &&
               std::memcmp(m.At(offset), text.data(), text.size()) == 0;
    });
    if (same.found) {
        m.haveLast = true, m.lastId = same.offset, m.lastText = {m.At(same.offset), text.size()};
        return same.offset;
    }

    // A spelling met for the first time: its class, if another spelling has it already.
    const std::string_view folded = m.Fold(text, m.foldA);
    const std::uint64_t hf = HashText(folded.data(), folded.size());
    const SlotTable::Probe spelling = m.folded.Find(
        hf, [&](std::uint64_t offset) { return m.Fold(m.TextAt(offset), m.foldB) == folded; });
    const bool variant = spelling.found;
    std::uint64_t header = std::uint64_t(text.size()) << 48;
    if (variant)
        header |= (m.Header(spelling.offset) & kClassMask) | kVariantBit;
    else
        header |= m.classes++;

    const std::uint64_t offset = m.Store(text, header);
    m.exact.Put(same.position, h, offset);
    if (!variant) m.folded.Put(spelling.position, hf, offset);
    m.haveLast = true, m.lastId = offset, m.lastText = {m.At(offset), text.size()};
    if (m.exact.NeedsGrowth() || m.folded.NeedsGrowth())
        RebuildIndexes(2 * m.exact.Size() * 3 / 4, 2 * m.folded.Size() * 3 / 4);
    return offset;
}

bool TextPool::FindFoldClass(std::string_view text, std::uint64_t& cls) {
    Impl& m = *impl_;
    if (m.haveLast && m.lastText == text) {
        cls = FoldClass(m.lastId);
        return true;
    }
    if (m.texts == 0) return false;
    if (m.folded.Empty()) RebuildIndexes(m.texts, m.classes);
    std::string foldedText, repFolded;
    FoldUtf8(text, foldedText);
    const std::uint64_t h = HashText(foldedText.data(), foldedText.size());
    const SlotTable::Probe found = m.folded.Find(h, [&](std::uint64_t offset) {
        repFolded.clear();
        FoldUtf8(m.TextAt(offset), repFolded);
        return repFolded == foldedText;
    });
    if (found.found) cls = m.Header(found.offset) & kClassMask;
    return found.found;
}

std::size_t TextPool::FoldedWords(Id id, std::size_t depth, std::uint64_t* words,
                                  std::size_t count) const {
    thread_local std::string scratch;  // the sort may run on several threads
    return ostrel::FoldedWords(Text(id), depth, words, count, scratch);
}

}  // namespace ostrel
