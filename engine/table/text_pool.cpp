#include "engine/table/text_pool.h"

#include <stdexcept>

#include "engine/order/phrase_order.h"
#include "engine/order/text_hash.h"
#include "engine/table/large_memory.h"
#include "engine/table/slot_table.h"
#include "engine/thread_group.h"

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

    std::string formA, formB;  // scratch for phrases' forms

    std::string_view Form(std::string_view text, std::string& buffer) const {
        buffer.resize(FormRoom(text.size()));
        return {buffer.data(), PhraseForm(text, buffer.data())};
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

void TextPool::Adopt(
    const std::vector<TextArena*>& arenas, unsigned threads,
    const std::function<void(std::uint64_t first, const Id* ids, std::size_t count)>& adopted) {
    Impl& m = *impl_;
    // Where each arena's records now start, and the numbers of the first of them.
    struct Part {
        TextArena::Offset from;
        std::uint64_t count, firstText, firstClass;
    };
    std::vector<Part> parts;
    std::uint64_t texts = 0;
    for (TextArena* arena : arenas) {
        const std::uint64_t count = arena->Size();
        parts.push_back({m.arena.TakeOver(*arena), count, texts, m.classes});
        texts += count;
        m.classes += count;
    }
    if (!m.exact.Empty()) {
        m.exact.Release();
        m.folded.Release();
    }
    m.haveLast = false;
    // The records of one arena lie in chunks of their own: the parts are gone through side by
    // side.
    RunShared(parts.size(), threads, [&](std::size_t p) {
        constexpr std::size_t kBlock = 4096;
        const Part& part = parts[p];
        Id block[kBlock];
        std::size_t held = 0;
        std::uint64_t done = 0;
        m.arena.Walk(part.from, part.count, [&](TextArena::Offset offset) {
            m.arena.SetClass(offset, part.firstClass + done++, false);
            block[held++] = offset;
            if (held == kBlock) {
                adopted(part.firstText + done - kBlock, block, kBlock);
                held = 0;
            }
        });
        if (held != 0) adopted(part.firstText + done - held, block, held);
    });
}

TextPool::Id TextPool::IdLimit(const std::vector<TextArena*>& arenas) const {
    // An id is an offset in the arena, which takes other arenas over in whole chunks.
    Id limit = impl_->arena.Bytes();
    for (const TextArena* arena : arenas) limit += arena->Bytes();
    return limit;
}

std::uint64_t TextPool::FoldClass(Id id) const {
    return impl_->arena.Header(id).FoldClass();
}

std::size_t TextPool::FoldedWords(Id id, std::size_t depth, std::uint64_t* words, std::size_t count,
                                  std::string& scratch) const {
    return ostrel::FoldedWords(Text(id), depth, words, count, scratch);
}

// ---- The look-up of a single text, for the table's general contract ----

void TextPool::RebuildIndexes(std::uint64_t texts, std::uint64_t classes) {
    Impl& m = *impl_;
    m.exact.Reset(TableSizeFor(texts));
    m.folded.Reset(TableSizeFor(classes));
    m.arena.Walk([&](TextArena::Offset offset) {
        const std::string_view text = m.arena.Text(offset);
        m.exact.Insert(HashText(text.data(), text.size()), offset);
        if (!m.arena.Header(offset).Variant())
            m.folded.Insert(PhraseFormHash(m.Form(text, m.formB)), offset);
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
    const std::string_view folded = m.Form(text, m.formA);
    const std::uint64_t hf = PhraseFormHash(folded);
    const SlotTable::Probe spelling = m.folded.Find(hf, [&](std::uint64_t offset) {
        return SamePhraseForm(m.Form(m.arena.Text(offset), m.formB), folded);
    });
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
    const std::string_view folded = m.Form(text, m.formA);
    const SlotTable::Probe found = m.folded.Find(PhraseFormHash(folded), [&](std::uint64_t offset) {
        return SamePhraseForm(m.Form(m.arena.Text(offset), m.formB), folded);
    });
    if (found.found) cls = FoldClass(found.offset);
    return found.found;
}

}  // namespace ostrel
