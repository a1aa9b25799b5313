#pragma once
// The window's collaborators without a window: two fixed paths stand in for the file dialog,
// message boxes go to a text sink, and the progress bar and the move request do nothing.
#include <functional>
#include <string>
#include <string_view>

#include "engine/collaborators.h"

namespace ostrel::cli {

class HeadlessUi final : public Collaborators {
  public:
    using MessageSink = std::function<void(std::string_view line)>;

    HeadlessUi(std::string inputPath, std::string outputPath, MessageSink sink);

    void ShowOpen() override;
    void ShowSave() override;
    std::string FileName() override { return fileName_; }

    float ProgressValue() override { return progress_; }
    void SetProgressValue(float value) override { progress_ = value; }
    void SetProgressMin(float) override {}
    void SetProgressMax(float) override {}
    void SetProgressVisible(bool) override {}

    void SetActualRowCountCaption(std::string_view caption) override;
    void SetFinalRowCountCaption(std::string_view caption) override;

    void SetSaveEnabled(bool enabled) override { saveEnabled_ = enabled; }
    void SetSaveOpenEnabled(bool) override {}

    void DragWindow() override {}

    void ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) override;
    // Yes: the command line names the file it writes, and ".txt" appended as its help says.
    bool AskYesNo(std::string_view) override { return true; }

    // Never needed: the command line has no "save and open".
    void StartProgram(std::string_view commandLine, int windowStyle) override;

    const std::string& ActualCaption() const { return actualCaption_; }
    const std::string& FinalCaption() const { return finalCaption_; }
    bool CaptionsShown() const { return actualShown_ && finalShown_; }
    bool SaveEnabled() const { return saveEnabled_; }
    bool ErrorShown() const { return errorShown_; }
    void ResetCaptionsShown() { actualShown_ = finalShown_ = false; }

  private:
    std::string inputPath_;
    std::string outputPath_;
    MessageSink sink_;
    std::string fileName_;
    float progress_ = 0.0f;
    std::string actualCaption_;
    std::string finalCaption_;
    bool actualShown_ = false;
    bool finalShown_ = false;
    bool saveEnabled_ = false;
    bool errorShown_ = false;
};

}  // namespace ostrel::cli
