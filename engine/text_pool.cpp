#include "engine/text_pool.h"

#include "engine/large_memory.h"
#include "engine/text_pool_impl.h"

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

std::size_t TextPool::FoldedWords(Id id, std::size_t depth, std::uint64_t* words, std::size_t count,
                                  std::string& scratch) const {
    return ostrel::FoldedWords(Text(id), depth, words, count, scratch);
}

}  // namespace ostrel
