#pragma once
// frmDuplicate, the one window: the skinned form with its twelve controls, the window chrome
// (no title bar, image buttons for minimise and close, move by pressing the background), and
// the collaborators through which the engine drives it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/collaborators.h"
#include "engine/duplicate_engine.h"
#include "engine/text/code_page.h"
#include "ui/command_button.h"
#include "ui/file_dialog.h"
#include "ui/form.h"
#include "ui/image.h"
#include "ui/label.h"
#include "ui/launcher.h"
#include "ui/message_boxes.h"
#include "ui/pictures.h"
#include "ui/progress_bar.h"
#include "ui/scaled_picture.h"
#include "ui/user32.h"
#include "ui/window_menu.h"

namespace ostrel::ui {

// Answers to lists named outside the Open dialog, when they cannot be opened.
inline constexpr wchar_t kDropOneList[] = L"Drop one list at a time.";
inline constexpr wchar_t kStartWithOneList[] = L"Open one list at a time.";
inline constexpr wchar_t kOnlyTxtLists[] =
    L"Ostrel opens keyword lists saved as .txt files. This file is not one:\r";

// The owner's notice in Label1.
inline constexpr wchar_t kOwnerNotice[] = L"Ostrel keyword list cleaner. Free to use and share.";

// The style bits that hiding the title bar clears, and the mask that keeps all others.
constexpr DWORD kTitleBarStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD kTitleBarMask = ~kTitleBarStyle;
static_assert(kTitleBarMask == 0xFF34FFFFu);
// Re-framing in place: the window keeps its place in the Z order, its owner's too, and the
// frame is computed anew for the changed style.
constexpr UINT kReframeFlags = SWP_NOZORDER | SWP_FRAMECHANGED | SWP_NOOWNERZORDER;
static_assert(kReframeFlags == 0x224);

// Command ids of the buttons.
enum : int { kIdOpen = 1001, kIdSave = 1002, kIdSaveOpen = 1003 };

class frmDuplicate final : public Form, public Collaborators {
    // Declared first: the controls below hold on to the pictures.
    FileDialog& cmdlgP_;
    MessageBoxes& messageBoxes_;
    Launcher& launcher_;
    User32& user32_;
    ScaledPicture background_;
    ScaledPicture buttonFace_;
    ScaledPicture minUp_;
    ScaledPicture minDown_;
    ScaledPicture closeUp_;
    ScaledPicture closeDown_;

  public:
    frmDuplicate(HINSTANCE instance, FileDialog& cmdlgP, MessageBoxes& messageBoxes,
                 Launcher& launcher, User32& user32, const CodePage& codePage);
    ~frmDuplicate() override;

    // The controls, as designed (top to bottom).
    CommandButton cmdOpen;
    ProgressBar prog;
    Label lblActualRowCount;
    Label lblFinalRowCount;
    CommandButton cmdSave;
    CommandButton cmdSaveOpen;
    Label Label1;
    Image imgMinUp;
    Image imgMinDwn;
    Image impCloseUp;
    Image imgCloseDwn;

    // 1 from a minimise through imgMinUp until the next Paint.
    std::uint8_t MinimizedFlag() const { return bytMinimized; }
    const DuplicateEngine& Engine() const { return engine_; }

    // The program's arguments: a list named there is opened once the window shows.
    void OpenOnceShown(std::vector<std::wstring> arguments);

  private:
    void InitializeComponent() override;
    void Form_DpiChanged() override;
    void ScalePictures();
    void Form_Load() override;
    void Form_Paint() override;
    void Form_MouseDown(const MouseEventArgs& args) override;
    void ReportUnhandledError(long number, const std::wstring& description) override;
    void Form_Shown() override;
    void Form_DropFiles(HDROP drop) override;
    bool OpenWindowMenu() override;
    void OpenNamedList(const std::vector<std::wstring>& paths, const wchar_t* severalText);

    void imgMinUp_MouseDown(const MouseEventArgs& args);
    void imgMinUp_MouseUp(const MouseEventArgs& args);
    void impCloseUp_MouseDown(const MouseEventArgs& args);
    void impCloseUp_MouseUp(const MouseEventArgs& args);
    void SetTitleBar(bool show);
    static bool ReleasedInside(const Image& image, const MouseEventArgs& args);

    // Collaborators: what the engine drives.
    void ShowOpen() override;
    void ShowSave() override;
    std::string FileName() override;
    float ProgressValue() override;
    void SetProgressValue(float value) override;
    void SetProgressMin(float value) override;
    void SetProgressMax(float value) override;
    void SetProgressVisible(bool visible) override;
    void SetActualRowCountCaption(std::string_view caption) override;
    void SetFinalRowCountCaption(std::string_view caption) override;
    void SetSaveEnabled(bool enabled) override;
    void SetSaveOpenEnabled(bool enabled) override;
    void DragWindow() override;
    void ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) override;
    bool AskYesNo(std::string_view text) override;
    void StartProgram(std::string_view commandLine, int windowStyle) override;

    std::uint8_t bytMinimized = 0;
    DuplicateEngine engine_;
    WindowMenu windowMenu_{user32_};
    std::vector<std::wstring> startArguments_;
};

}  // namespace ostrel::ui
