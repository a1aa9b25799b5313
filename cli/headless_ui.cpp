#include "cli/headless_ui.h"

#include <utility>

#include "engine/failure.h"

namespace ostrel::cli {

HeadlessUi::HeadlessUi(std::string inputPath, std::string outputPath, MessageSink sink)
    : inputPath_(std::move(inputPath)),
      outputPath_(std::move(outputPath)),
      sink_(std::move(sink)) {}

void HeadlessUi::ShowOpen() {
    fileName_ = inputPath_;
}

void HeadlessUi::ShowSave() {
    fileName_ = outputPath_;
}

void HeadlessUi::SetActualRowCountCaption(std::string_view caption) {
    actualCaption_.assign(caption);
    actualShown_ = true;
}

void HeadlessUi::SetFinalRowCountCaption(std::string_view caption) {
    finalCaption_.assign(caption);
    finalShown_ = true;
}

void HeadlessUi::ShowMessage(std::string_view text, MessageIcon icon, std::string_view) {
    if (icon == MessageIcon::Error) errorShown_ = true;
    std::string line = icon == MessageIcon::Error ? "Error: " : "Information: ";
    // The engine separates a message from its reason with a lone CR, which a terminal would
    // use to overwrite the line; a line feed keeps both readable.
    for (char c : text) line.push_back(c == '\r' ? '\n' : c);
    if (sink_) sink_(line);
}

void HeadlessUi::StartProgram(std::string_view, int) {
    throw RuntimeError(err::kBadArgument, "Starting programs is not supported by ostrel-cli");
}

}  // namespace ostrel::cli
