#pragma once
// What the fuzz target (engine_fuzz.cpp) offers its drivers besides LLVMFuzzerTestOneInput.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace engine_fuzz {

// How an input is reshaped before it is run.
struct Plan {
    // Re-encoded in this encoding: 0 UTF-8, 1 UTF-8 with its mark, 2 UTF-16LE, 3 UTF-16BE,
    // 4 UTF-32LE, 5 UTF-32BE, 6 Windows-1252; -1 keeps it. An input whose text the new encoding
    // cannot hold as it is (malformed UTF-8, say) keeps its own.
    int encoding = -1;
    // Every run of at least stretchFrom spaces is made stretchTo spaces long (0: none), within
    // a few MiB in all.
    std::size_t stretchTo = 0;
    std::size_t stretchFrom = 2;
    // Blank lines of spaces put in front of the text, after any mark: padUnits code units and
    // padBytes bytes' worth (the reader's blocks count bytes, the loader's chunks the text's
    // characters).
    std::size_t padUnits = 0;
    std::size_t padBytes = 0;

    std::string Describe() const;  // empty when the input is run as it is
};

// The reshaping that an input's bytes pick: most inputs get some.
Plan PlanFor(std::string_view input);

// When set, every input gets this reshaping instead.
extern const Plan* forcedPlan;
// When set, a disagreement is printed and noted in findings, and the run goes on; otherwise it
// aborts the program.
extern bool keepGoing;
extern std::vector<std::string> findings;  // what disagreed, in what encoding, on what line
extern std::uint64_t inputsRun, bytesRun;  // reshaped inputs run, and their bytes

}  // namespace engine_fuzz
