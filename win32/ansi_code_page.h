#pragma once
// The system's ANSI code page as the engine's CodePage: how lists without a byte-order mark
// that are not UTF-8 are read, and how results from such lists are written back.
#include <string>
#include <string_view>

#include "engine/text/code_page.h"

namespace ostrel::win32 {

class AnsiCodePage final : public CodePage {
  public:
    AnsiCodePage();
    void ToUtf8(std::string_view bytes, std::string& utf8) const override;
    bool FromUtf8(std::string_view utf8, std::string& bytes) const override;
    unsigned Number() const { return codePage_; }

  private:
    unsigned codePage_;
};

// The one instance the window and the command-line tool share.
const CodePage& SystemAnsiCodePage();

}  // namespace ostrel::win32
