#include "engine/table/text_arena.h"

#include <utility>

namespace ostrel {

TextArena::Offset TextArena::TakeOver(TextArena& other) {
    const std::size_t firstChunk = chunks_.size();
    for (std::size_t c = 0; c < other.chunks_.size(); ++c) {
        chunks_.push_back(std::move(other.chunks_[c]));
        used_.push_back(other.used_[c]);
    }
    records_ += other.records_;
    other.chunks_.clear();
    other.used_.clear();
    other.records_ = 0;
    return First(firstChunk);
}

TextArena::Offset TextArena::First(std::size_t chunk) const {
    while (chunk < chunks_.size() && used_[chunk] == 0) ++chunk;
    return chunk < chunks_.size() ? chunk * kChunkBytes + kHeaderBytes : kEnd;
}

}  // namespace ostrel
