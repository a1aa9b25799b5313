#pragma once
// Texts stored one after another, each as a record: a header word, then the text's bytes. The
// text pool keeps its texts so, and so do the loader's workers, whose records the pool then
// takes over whole.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "engine/table/large_memory.h"

namespace ostrel {

// What a record says of its text: its length, its fold class (texts equal but for letter case
// share one), and whether it is another spelling of a class (a variant) or the class's first.
class RecordHeader {
  public:
    static constexpr std::size_t kMostLength = 0xFFFF;
    static constexpr std::uint64_t kMostClasses = std::uint64_t{1} << 47;

    constexpr RecordHeader(std::size_t length, std::uint64_t foldClass, bool variant)
        : word_((std::uint64_t{length} << kLengthShift) | (variant ? kVariantBit : 0) | foldClass) {
    }

    constexpr std::size_t Length() const { return static_cast<std::size_t>(word_ >> kLengthShift); }
    constexpr std::uint64_t FoldClass() const { return word_ & (kVariantBit - 1); }
    constexpr bool Variant() const { return (word_ & kVariantBit) != 0; }

  private:
    friend class TextArena;
    static constexpr unsigned kLengthShift = 48;  // the length in the top sixteen bits
    static constexpr std::uint64_t kVariantBit = std::uint64_t{1} << 47;
    static_assert(kMostLength == ~std::uint64_t{0} >> kLengthShift);
    static_assert(kMostClasses == kVariantBit);

    static constexpr RecordHeader FromWord(std::uint64_t word) {
        RecordHeader header(0, 0, false);
        header.word_ = word;
        return header;
    }
    std::uint64_t word_;
};

// Records in chunks of large memory. A record never moves within its arena, nor when another
// arena takes it over whole: its offset names it for good.
class TextArena {
  public:
    // Where a record's text starts, counting every chunk as full.
    using Offset = std::uint64_t;
    static constexpr Offset kEnd = ~Offset{0};

    // Adds a record for text, of at most RecordHeader::kMostLength bytes.
    Offset Append(std::string_view text, std::uint64_t foldClass = 0, bool variant = false) {
        if (text.size() > RecordHeader::kMostLength)
            throw std::length_error("text too long for the pool");
        const std::uint64_t need = RecordBytes(text.size());
        if (chunks_.empty() || used_.back() + need > kChunkBytes) {
            chunks_.emplace_back(kChunkBytes);
            used_.push_back(0);
        }
        char* record = chunks_.back().data() + used_.back();
        const Offset offset = (chunks_.size() - 1) * kChunkBytes + used_.back() + kHeaderBytes;
        used_.back() += need;
        ++records_;
        PutRecord(record, text, foldClass, variant);
        return offset;
    }

    // The one layout of a record, which files that keep records (sorted runs) share: the
    // header word, then the text. PutRecord writes one at record, RecordBytes(length) bytes.
    static constexpr std::uint64_t kHeaderBytes = sizeof(std::uint64_t);
    static constexpr std::size_t RecordBytes(std::size_t length) { return kHeaderBytes + length; }
    static void PutRecord(char* record, std::string_view text, std::uint64_t foldClass = 0,
                          bool variant = false) {
        WriteHeader(record, RecordHeader(text.size(), foldClass, variant));
        if (!text.empty()) std::memcpy(record + kHeaderBytes, text.data(), text.size());
    }
    static RecordHeader HeaderAt(const char* record) {
        std::uint64_t word;
        std::memcpy(&word, record, kHeaderBytes);
        return RecordHeader::FromWord(word);
    }
    static std::string_view TextAt(const char* record) {
        return {record + kHeaderBytes, HeaderAt(record).Length()};
    }

    // The memory the records hold, in whole chunks.
    std::uint64_t Bytes() const { return chunks_.size() * kChunkBytes; }

    std::uint64_t Size() const { return records_; }  // records held
    RecordHeader Header(Offset offset) const { return HeaderAt(Address(offset)); }
    std::string_view Text(Offset offset) const {
        return {Address(offset) + kHeaderBytes, Header(offset).Length()};
    }
    // Gives the record another class; its text stays.
    void SetClass(Offset offset, std::uint64_t foldClass, bool variant) {
        WriteHeader(Record(offset), RecordHeader(Header(offset).Length(), foldClass, variant));
    }
    // Where the record starts, to prefetch.
    const char* Address(Offset offset) const { return Record(offset); }

    // Moves the records of other after these, leaving other empty; returns the offset that the
    // first of them has now (kEnd for none).
    Offset TakeOver(TextArena& other);

    // Calls visit(offset) for each record in the order appended, from the one at from (kEnd:
    // none) on, count records at most. visit may give the record another class.
    template <typename Visit>
    void Walk(Offset from, std::uint64_t count, Visit&& visit) const {
        if (from == kEnd) return;
        std::uint64_t pos = from % kChunkBytes - kHeaderBytes;
        for (std::size_t c = from / kChunkBytes; c < chunks_.size(); ++c, pos = 0) {
            while (pos < used_[c]) {
                if (count-- == 0) return;
                const Offset offset = c * kChunkBytes + pos + kHeaderBytes;
                pos += kHeaderBytes + Header(offset).Length();
                visit(offset);
            }
        }
    }
    template <typename Visit>
    void Walk(Offset from, Visit&& visit) const {
        Walk(from, ~std::uint64_t{0}, visit);
    }
    template <typename Visit>
    void Walk(Visit&& visit) const {
        Walk(First(0), visit);
    }

  private:
    static constexpr std::uint64_t kChunkBytes = kLargePage;
    static_assert(kHeaderBytes + RecordHeader::kMostLength <= kChunkBytes);

    static void WriteHeader(char* record, RecordHeader header) {
        std::memcpy(record, &header.word_, kHeaderBytes);
    }
    char* Record(Offset offset) const {
        return chunks_[offset / kChunkBytes].data() + offset % kChunkBytes - kHeaderBytes;
    }
    Offset First(std::size_t chunk) const;  // the first record from that chunk on

    std::vector<LargeArray<char>> chunks_;
    std::vector<std::uint64_t> used_;  // bytes in use in each chunk
    std::uint64_t records_ = 0;
};

}  // namespace ostrel
