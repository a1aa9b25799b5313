#include "engine/scratch_file.h"

#include <algorithm>

namespace ostrel {
namespace {

// Takes a run of one or more digits from the front of text.
bool TakeDigits(std::string_view& text) {
    const auto end =
        std::find_if(text.begin(), text.end(), [](char c) { return c < '0' || c > '9'; });
    const auto count = static_cast<std::size_t>(end - text.begin());
    text.remove_prefix(count);
    return count > 0;
}

bool Take(std::string_view& text, std::string_view part) {
    if (!text.starts_with(part)) return false;
    text.remove_prefix(part.size());
    return true;
}

}  // namespace

bool IsScratchFileName(std::string_view fileName) {
    return Take(fileName, "ostrel-") && TakeDigits(fileName) && Take(fileName, "-") &&
           TakeDigits(fileName) && fileName == ".run";
}

}  // namespace ostrel
