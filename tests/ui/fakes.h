#pragma once
// Stand-ins for what would stop a test: the modal file dialog, message boxes and starting
// another program. Each records what it was asked.
#include <deque>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "engine/failure.h"
#include "ui/file_dialog.h"
#include "ui/launcher.h"
#include "ui/message_boxes.h"

namespace ostrel::ui::test {

// Answers each dialog with the next scripted name, or cancels when the script says so (or is
// empty). The file name stays between dialogs, as the real one's does.
class FakeFileDialog final : public FileDialog {
  public:
    void ShowOpen(HWND owner) override { Answer("open", owner); }
    void ShowSave(HWND owner) override { Answer("save", owner); }
    std::wstring FileName() const override { return fileName_; }

    void WillChoose(std::wstring name) { script_.push_back(std::move(name)); }
    void WillCancel() { script_.push_back(std::nullopt); }

    std::vector<std::string> shown;
    HWND lastOwner = nullptr;

  private:
    void Answer(const char* kind, HWND owner) {
        shown.push_back(kind);
        lastOwner = owner;
        std::optional<std::wstring> next;
        if (!script_.empty()) {
            next = script_.front();
            script_.pop_front();
        }
        if (!next) throw RuntimeError(32755, "Cancel was selected.");  // as the real dialog
        fileName_ = *next;
    }
    std::deque<std::optional<std::wstring>> script_;
    std::wstring fileName_;
};

struct ShownMessage {
    HWND owner;
    std::wstring text;
    MessageIcon icon;
    std::wstring title;
    bool ownerVisible;  // the owner window showed on screen when the box came
};

struct AskedQuestion {
    HWND owner;
    std::wstring text;
};

class FakeMessageBoxes final : public MessageBoxes {
  public:
    void Show(HWND owner, const std::wstring& text, MessageIcon icon,
              const std::wstring& title) override {
        shown.push_back({owner, text, icon, title, owner && ::IsWindowVisible(owner)});
    }
    // Answers each question with the next scripted reply; No when none is left.
    bool AskYesNo(HWND owner, const std::wstring& text) override {
        questions.push_back({owner, text});
        if (replies.empty()) return false;
        const bool yes = replies.front();
        replies.pop_front();
        return yes;
    }
    std::vector<ShownMessage> shown;
    std::vector<AskedQuestion> questions;
    std::deque<bool> replies;
};

struct StartedProgram {
    std::wstring commandLine;
    int showWindow;
};

class FakeLauncher final : public Launcher {
  public:
    void Start(const std::wstring& commandLine, int showWindow) override {
        started.push_back({commandLine, showWindow});
        if (failure) std::rethrow_exception(failure);
    }
    std::vector<StartedProgram> started;
    std::exception_ptr failure;
};

}  // namespace ostrel::ui::test
