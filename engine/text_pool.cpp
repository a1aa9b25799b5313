#include "engine/text_pool.h"

#include "engine/large_memory.h"
#include "engine/text_pool_impl.h"
#include "engine/thread_group.h"

namespace ostrel {

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

}  // namespace ostrel
