#include "ui/frm_duplicate.h"

#include <cstdint>
#include <limits>

#include "engine/failure.h"
#include "engine/order/collation.h"
#include "win32/wide_string.h"

namespace ostrel::ui {

namespace {
FormDesign DuplicateDesign() {
    return {.caption = kAppTitle,
            .clientWidth = 4515,
            .clientHeight = 3375,
            .controlBox = true,
            .maxButton = false,
            .minButton = false,
            .backColor = RGB(128, 128, 255)};
}

// A signed 32-bit difference, or the overflow error.
int CheckedDifference(LONG a, LONG b) {
    const std::int64_t difference = static_cast<std::int64_t>(a) - static_cast<std::int64_t>(b);
    if (difference < std::numeric_limits<std::int32_t>::min() ||
        difference > std::numeric_limits<std::int32_t>::max())
        throw RuntimeError(err::kOverflow, "Overflow");
    return static_cast<int>(difference);
}
}  // namespace

frmDuplicate::frmDuplicate(HINSTANCE instance, FileDialog& cmdlgP, MessageBoxes& messageBoxes,
                           Launcher& launcher, User32& user32, const CodePage& codePage)
    : Form(instance, DuplicateDesign()),
      cmdlgP_(cmdlgP),
      messageBoxes_(messageBoxes),
      launcher_(launcher),
      user32_(user32),
      background_(instance, Picture::Background),
      buttonFace_(instance, Picture::ButtonFace),
      minUp_(instance, Picture::MinUp),
      minDown_(instance, Picture::MinDown),
      closeUp_(instance, Picture::CloseUp),
      closeDown_(instance, Picture::CloseDown),
      engine_(*this, codePage) {
    // Phrases are sorted as the user's language sorts them, as Explorer does.
    engine_.SetCollation(CollationFor(UserLocaleName()));
}

frmDuplicate::~frmDuplicate() {
    DestroyNow();
}

void frmDuplicate::InitializeComponent() {
    HWND form = hWnd();
    const int dpi = Dpi();
    ScalePictures();
    SetPicture(&background_);

    cmdOpen.Create(form, dpi,
                   {.id = kIdOpen,
                    .place = {.left = 90, .top = 750, .width = 1755, .height = 495},
                    .caption = L"Open && Remove Duplicate",
                    .font = {.size = 8.25, .bold = true},
                    .tabIndex = 3,
                    .enabled = true,
                    .picture = &buttonFace_});
    prog.Create(form, dpi,
                {.place = {.left = 90, .top = 1320, .width = 3555, .height = 240}, .max = 10001},
                user32_);
    lblActualRowCount.Create(form, dpi,
                             {.place = {.left = 120, .top = 1680, .width = 4215, .height = 255},
                              .caption = L"Actual Keyword Phrases",
                              .font = {.size = 9, .bold = true}});
    lblFinalRowCount.Create(form, dpi,
                            {.place = {.left = 120, .top = 1950, .width = 4035, .height = 255},
                             .caption = L"Final Keyword Phrases",
                             .font = {.size = 9, .bold = true}});
    cmdSave.Create(form, dpi,
                   {.id = kIdSave,
                    .place = {.left = 120, .top = 2370, .width = 1605, .height = 315},
                    .caption = L"Save",
                    .font = {.size = 8.25, .bold = true},
                    .tabIndex = 1,
                    .enabled = false,
                    .picture = &buttonFace_});
    cmdSaveOpen.Create(form, dpi,
                       {.id = kIdSaveOpen,
                        .place = {.left = 1800, .top = 2370, .width = 1605, .height = 315},
                        .caption = L"Save && Open",
                        .font = {.size = 8.25, .bold = true},
                        .tabIndex = 5,
                        .enabled = false,
                        .picture = &buttonFace_});
    Label1.Create(form, dpi,
                  {.place = {.left = 120, .top = 2880, .width = 4005, .height = 435},
                   .caption = kOwnerNotice,
                   .font = {.size = 8.25, .bold = false}});
    // Each Up image lies above its Dwn twin.
    imgMinDwn.Create(form, dpi, {.left = 3915, .top = 60, .picture = &minDown_});
    imgMinUp.Create(form, dpi,
                    {.left = 3915, .top = 60, .picture = &minUp_, .buttonName = L"Minimize"});
    imgCloseDwn.Create(form, dpi, {.left = 4185, .top = 60, .picture = &closeDown_});
    impCloseUp.Create(form, dpi,
                      {.left = 4185, .top = 60, .picture = &closeUp_, .buttonName = L"Close"});

    AddControl(lblActualRowCount);
    AddControl(lblFinalRowCount);
    AddControl(Label1);
    AddControl(imgMinDwn);
    AddControl(imgMinUp);
    AddControl(imgCloseDwn);
    AddControl(impCloseUp);
    AddButton(cmdSave);
    AddButton(cmdOpen);
    AddButton(cmdSaveOpen);

    cmdOpen.Click = [this] { engine_.cmdOpen_Click(); };
    cmdSave.Click = [this] { engine_.cmdSave_Click(); };
    cmdSaveOpen.Click = [this] { engine_.cmdSaveOpen_Click(); };
    imgMinUp.MouseDown = [this](const MouseEventArgs& args) { imgMinUp_MouseDown(args); };
    imgMinUp.MouseUp = [this](const MouseEventArgs& args) { imgMinUp_MouseUp(args); };
    impCloseUp.MouseDown = [this](const MouseEventArgs& args) { impCloseUp_MouseDown(args); };
    impCloseUp.MouseUp = [this](const MouseEventArgs& args) { impCloseUp_MouseUp(args); };
}

// Each picture at the window's density, before the controls take their sizes from them.
void frmDuplicate::ScalePictures() {
    for (ScaledPicture* picture :
         {&background_, &buttonFace_, &minUp_, &minDown_, &closeUp_, &closeDown_})
        picture->SetDpi(Dpi());
}

void frmDuplicate::Form_DpiChanged() {
    ScalePictures();
    prog.SetDpi(Dpi());
}

// ---- Window chrome ----

void frmDuplicate::Form_Load() {
    SetTitleBar(false);
    SetWidth(4500);
    SetHeight(3350);  // 223 1/3 pixels at 96 dpi, rounded to 223
}

void frmDuplicate::Form_Paint() {
    if (bytMinimized == 1) {
        bytMinimized = 0;
        SetTitleBar(false);
    }
}

void frmDuplicate::Form_MouseDown(const MouseEventArgs&) {
    DragWindow();
}

void frmDuplicate::imgMinUp_MouseDown(const MouseEventArgs&) {
    imgMinUp.SetVisible(false);
}

void frmDuplicate::imgMinUp_MouseUp(const MouseEventArgs& args) {
    imgMinUp.SetVisible(true);
    if (!ReleasedInside(imgMinUp, args)) return;
    user32_.ShowWindow(hWnd(), SW_MINIMIZE);
    SetTitleBar(true);
    SetCaption(kAppTitle);
    bytMinimized = 1;
}

void frmDuplicate::impCloseUp_MouseDown(const MouseEventArgs&) {
    impCloseUp.SetVisible(false);
}

void frmDuplicate::impCloseUp_MouseUp(const MouseEventArgs& args) {
    impCloseUp.SetVisible(true);
    if (!ReleasedInside(impCloseUp, args)) return;
    End();
}

bool frmDuplicate::ReleasedInside(const Image& image, const MouseEventArgs& args) {
    return args.X > 0 && args.X < image.Width() && args.Y > 0 && args.Y < image.Height();
}

void frmDuplicate::SetTitleBar(bool show) {
    HWND window = hWnd();
    RECT rect{0, 0, 0, 0};
    user32_.GetWindowRect(window, &rect);
    DWORD style = static_cast<DWORD>(user32_.GetWindowLongA(window, GWL_STYLE));
    if (show) {
        SetCaption(Tag());
        if (ControlBox()) style |= WS_SYSMENU;
        if (MaxButton()) style |= WS_MAXIMIZEBOX;
        if (MinButton()) style |= WS_MINIMIZEBOX;
        if (!Caption().empty()) style |= WS_CAPTION;
    } else {
        SetTag(Caption());
        style &= kTitleBarMask;
    }
    user32_.SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(style));
    const int height = CheckedDifference(rect.bottom, rect.top);
    const int width = CheckedDifference(rect.right, rect.left);
    // Same outer rectangle, frame recomputed: the client area takes or gives up the title bar.
    user32_.SetWindowPos(window, nullptr, rect.left, rect.top, width, height, kReframeFlags);
    Refresh();
}

// Alt+Space while the title bar is hidden (not part of the designed window: the hidden bar
// takes the system menu with it).
bool frmDuplicate::OpenWindowMenu() {
    return windowMenu_.Open(hWnd());
}

// Asks the system to move the window with the pointer, as a press on a title bar does. The
// request is dropped (in SystemUser32::SendMessageA) unless the left button is held: Windows
// would return at once then, but Wine with no window manager waits for the next click and drags
// the window until it comes. So a press of the right or middle button, and the request the
// engine makes at the end of each run, long after the click on the button, move nothing.
void frmDuplicate::DragWindow() {
    user32_.ReleaseCapture();
    user32_.SendMessageA(hWnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void frmDuplicate::ReportUnhandledError(long number, const std::wstring& description) {
    messageBoxes_.Show(hWnd(), UnhandledErrorText(number, description), MessageIcon::Error, L"");
}

// ---- Lists named outside the Open dialog ----
// Not part of the designed window: a list dropped on it, or named on the command line ("Open
// with", "Send to", a file dropped on the program's icon), goes through the open action in
// place of the Open dialog.

void frmDuplicate::OpenOnceShown(std::vector<std::wstring> arguments) {
    startArguments_ = std::move(arguments);
}

void frmDuplicate::Form_Shown() {
    user32_.DragAcceptFiles(hWnd(), TRUE);
    const std::vector<std::wstring> arguments = std::move(startArguments_);
    startArguments_.clear();
    if (!arguments.empty()) OpenNamedList(arguments, kStartWithOneList);
}

void frmDuplicate::Form_DropFiles(HDROP drop) {
    std::vector<std::wstring> paths;
    {
        // The shell's memory goes back on every path, before any message or read.
        struct Finish {
            User32& user32;
            HDROP drop;
            ~Finish() { user32.DragFinish(drop); }
        } finish{user32_, drop};
        const UINT count = user32_.DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = user32_.DragQueryFileW(drop, i, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            path.resize(user32_.DragQueryFileW(drop, i, path.data(), length + 1));
            if (!path.empty()) paths.push_back(std::move(path));
        }
    }
    OpenNamedList(paths, kDropOneList);
}

// One list at a time, and only a name holding ".txt", the open action's own test: a name typed
// in the dialog without it is passed over in silence, but a list handed over from outside gets
// an answer.
void frmDuplicate::OpenNamedList(const std::vector<std::wstring>& paths,
                                 const wchar_t* severalText) {
    if (paths.empty()) return;
    if (paths.size() > 1) {
        messageBoxes_.Show(hWnd(), severalText, MessageIcon::Information, L"");
        return;
    }
    const std::string path = win32::WideToUtf8(paths.front());
    if (!ContainsTxt(path)) {
        messageBoxes_.Show(hWnd(), kOnlyTxtLists + paths.front(), MessageIcon::Error, L"");
        return;
    }
    engine_.OpenList(path);
}

// ---- Collaborators ----

void frmDuplicate::ShowOpen() {
    cmdlgP_.ShowOpen(hWnd());
}
void frmDuplicate::ShowSave() {
    cmdlgP_.ShowSave(hWnd());
}
std::string frmDuplicate::FileName() {
    return win32::WideToUtf8(cmdlgP_.FileName());
}

float frmDuplicate::ProgressValue() {
    return prog.Value();
}
void frmDuplicate::SetProgressValue(float value) {
    prog.SetValue(value);
}
void frmDuplicate::SetProgressMin(float value) {
    prog.SetMin(value);
}
void frmDuplicate::SetProgressMax(float value) {
    prog.SetMax(value);
}
void frmDuplicate::SetProgressVisible(bool visible) {
    prog.SetVisible(visible);
}

void frmDuplicate::SetActualRowCountCaption(std::string_view caption) {
    lblActualRowCount.SetCaption(win32::Utf8ToWide(caption));
}
void frmDuplicate::SetFinalRowCountCaption(std::string_view caption) {
    lblFinalRowCount.SetCaption(win32::Utf8ToWide(caption));
}

void frmDuplicate::SetSaveEnabled(bool enabled) {
    cmdSave.SetEnabled(enabled);
}
void frmDuplicate::SetSaveOpenEnabled(bool enabled) {
    cmdSaveOpen.SetEnabled(enabled);
}

void frmDuplicate::ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) {
    messageBoxes_.Show(hWnd(), win32::Utf8ToWide(text), icon, win32::Utf8ToWide(title));
}

bool frmDuplicate::AskYesNo(std::string_view text) {
    return messageBoxes_.AskYesNo(hWnd(), win32::Utf8ToWide(text));
}

void frmDuplicate::StartProgram(std::string_view commandLine, int windowStyle) {
    launcher_.Start(win32::Utf8ToWide(commandLine), windowStyle);
}

}  // namespace ostrel::ui
