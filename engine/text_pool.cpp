#include "engine/text_pool.h"

#include <stdexcept>
#include <string>

#include "engine/case_fold.h"
#include "engine/large_memory.h"
#include "engine/slot_table.h"
#include "engine/text_hash.h"

namespace ostrel {

// Each text lies once in the arena; its record holds its fold class and whether it is the
// class's first spelling. Two indexes lead to the texts: one by the exact text, which a repeated
// line finds in one look-up, and one by the folded text, holding each class's first spelling,
// for a spelling met for the first time.
struct TextPool::Impl {
    TextArena arena;
    std::uint64_t classes = 0;

    SlotTable exact;   // every text, by its exact bytes
    SlotTable folded;  // each fold class's first text, by its folded form

    bool haveLast = false;
    Id lastId = 0;
    std::string_view lastText;

    std::string foldA, foldB;  // scratch for folding

    std::string_view Fold(std::string_view text, std::string& buffer) const {
        buffer.resize(text.size());
        return {buffer.data(), FoldUtf8(text, buffer.data())};
    }
    void Remember(Id id) { haveLast = true, lastId = id, lastText = arena.Text(id); }
};

TextPool::TextPool() : impl_(std::make_unique<Impl>()) {}

TextPool::~TextPool() = default;

std::string_view TextPool::Text(Id id) const {
    return impl_->arena.Text(id);
}

bool TextPool::Empty() const {
    return impl_->arena.Size() == 0;
}

void TextPool::PrefetchText(Id id) const {
    PrefetchRecord(impl_->arena.Address(id));
}

void TextPool::Adopt(TextArena& texts, const std::function<void(Id)>& adopted) {
    Impl& m = *impl_;
    const TextArena::Offset first = m.arena.TakeOver(texts);
    if (!m.exact.Empty()) {
        m.exact.Release();
        m.folded.Release();
    }
    m.haveLast = false;
    m.arena.Walk(first, [&](TextArena::Offset offset) {
        m.arena.SetClass(offset, m.classes++, false);
        adopted(offset);
    });
}

std::uint64_t TextPool::FoldClass(Id id) const {
    return impl_->arena.Header(id).FoldClass();
}

void TextPool::RebuildIndexes(std::uint64_t texts, std::uint64_t classes) {
    Impl& m = *impl_;
    m.exact.Reset(TableSizeFor(texts));
    m.folded.Reset(TableSizeFor(classes));
    m.arena.Walk([&](TextArena::Offset offset) {
        const std::string_view text = m.arena.Text(offset);
        m.exact.Insert(HashText(text.data(), text.size()), offset);
        if (!m.arena.Header(offset).Variant()) {
            const std::string_view f = m.Fold(text, m.foldB);
            m.folded.Insert(HashText(f.data(), f.size()), offset);
        }
    });
}

TextPool::Id TextPool::Intern(std::string_view text) {
    Impl& m = *impl_;
    if (m.haveLast && m.lastText == text) return m.lastId;
    if (text.size() > RecordHeader::kMostLength)
        throw std::length_error("text too long for the pool");
    if (m.exact.Empty()) RebuildIndexes(m.arena.Size(), m.classes);

    // The text itself: a repeat is found here.
    const std::uint64_t h = HashText(text.data(), text.size());
    const SlotTable::Probe same =
        m.exact.Find(h, [&](std::uint64_t offset) { return m.arena.Text(offset) == text; });
    if (same.found) {
        m.Remember(same.offset);
        return same.offset;
    }

    // A spelling met for the first time: its class, if another spelling has it already.
    const std::string_view folded = m.Fold(text, m.foldA);
    const std::uint64_t hf = HashText(folded.data(), folded.size());
    const SlotTable::Probe spelling = m.folded.Find(
        hf, [&](std::uint64_t offset) { return m.Fold(m.arena.Text(offset), m.foldB) == folded; });
    const bool variant = spelling.found;
    const std::uint64_t cls = variant ? m.arena.Header(spelling.offset).FoldClass() : m.classes++;

    const Id id = m.arena.Append(text, cls, variant);
    m.exact.Put(same.position, h, id);
    if (!variant) m.folded.Put(spelling.position, hf, id);
    m.Remember(id);
    if (m.exact.NeedsGrowth() || m.folded.NeedsGrowth())
        RebuildIndexes(2 * m.exact.Size() * 3 / 4, 2 * m.folded.Size() * 3 / 4);
    return id;
}

bool TextPool::FindFoldClass(std::string_view text, std::uint64_t& cls) {
    Impl& m = *impl_;
    if (m.haveLast && m.lastText == text) {
        cls = FoldClass(m.lastId);
        return true;
    }
    if (m.arena.Size() == 0) return false;
    if (m.folded.Empty()) RebuildIndexes(m.arena.Size(), m.classes);
    std::string foldedText, repFolded;
    FoldUtf8(text, foldedText);
    const std::uint64_t h = HashText(foldedText.data(), foldedText.size());
    const SlotTable::Probe found = m.folded.Find(h, [&](std::uint64_t offset) {
        repFolded.clear();
        FoldUtf8(m.arena.Text(offset), repFolded);
        return repFolded == foldedText;
    });
    if (found.found) cls = FoldClass(found.offset);
    return found.found;
}

std::size_t TextPool::FoldedWords(Id id, std::size_t depth, std::uint64_t* words,
                                  std::size_t count) const {
    thread_local std::string scratch;  // the sort may run on several threads
    return ostrel::FoldedWords(Text(id), depth, words, count, scratch);
}

}  // namespace ostrel
