#pragma once
// The encodings that lists are read in and results written back in.
namespace ostrel {

enum class TextEncoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, Utf32LE, Utf32BE, Ansi };

}  // namespace ostrel
