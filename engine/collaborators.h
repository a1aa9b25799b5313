#pragma once
// What the engine needs of the window, and nothing more. The window implements it with its
// real controls; ostrel-cli and the tests implement it headless.
#include <string>
#include <string_view>

namespace ostrel {

enum class MessageIcon { Information, Error };

// The product's name: the application title of the message boxes and the window's caption.
// ASCII, so that the window's UTF-16 form of it is the same letters.
inline constexpr char kAppTitle[] = "Ostrel";

// Window styles for a started program (the values of ShowWindow's nCmdShow).
constexpr int kWindowMaximizedFocus = 3;

class Collaborators {
  public:
    virtual ~Collaborators() = default;

    // The common file dialog cmdlgP. ShowOpen/ShowSave throw RuntimeError 32755 when the user
    // cancels; the file name (UTF-8) persists between the two.
    virtual void ShowOpen() = 0;
    virtual void ShowSave() = 0;
    virtual std::string FileName() = 0;

    // The progress bar prog (single-precision values, as the control keeps them).
    virtual float ProgressValue() = 0;
    virtual void SetProgressValue(float value) = 0;
    virtual void SetProgressMin(float value) = 0;
    virtual void SetProgressMax(float value) = 0;
    virtual void SetProgressVisible(bool visible) = 0;

    // The count labels lblActualRowCount and lblFinalRowCount.
    virtual void SetActualRowCountCaption(std::string_view caption) = 0;
    virtual void SetFinalRowCountCaption(std::string_view caption) = 0;

    // The enabled state of cmdSave and cmdSaveOpen.
    virtual void SetSaveEnabled(bool enabled) = 0;
    virtual void SetSaveOpenEnabled(bool enabled) = 0;

    // The window's move request.
    virtual void DragWindow() = 0;

    // A modal message box with only an OK button. An empty title means the application title.
    virtual void ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) = 0;
    // A modal question with Yes and No buttons, carrying the application title; true for Yes.
    virtual bool AskYesNo(std::string_view text) = 0;

    // Starts a program from a command line (UTF-8) without a shell and without waiting for it.
    // Throws RuntimeError when it cannot be started.
    virtual void StartProgram(std::string_view commandLine, int windowStyle) = 0;
};

}  // namespace ostrel
