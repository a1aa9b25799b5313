// The three command buttons drive the engine through the window: opening a list, saving it,
// and what the user sees after each run.
#include <new>

#include "tests/ui/window_fixture.h"
#include "win32/wide_string.h"

namespace ostrel::ui::test {
namespace {

class OpenTest : public WindowTest {
  protected:
    void SetUp() override {
        StartWindow();
        seam.calls.clear();
    }
    // DragWindow's two calls: the capture given up, then the move request on the caption.
    ::testing::AssertionResult DraggedOnce() {
        const std::vector<User32Call> expected{
            {"ReleaseCapture", {}}, {"SendMessageA", {H(Hwnd()), WM_NCLBUTTONDOWN, HTCAPTION, 0}}};
        if (seam.calls == expected) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "calls were:\n" << Describe(seam.calls);
    }
};

TEST_F(OpenTest, OpeningAListShowsBothCountsAndEnablesSaving) {
    const std::wstring list = WriteList("b\r\na\r\nb\r\n  a  \r\n");
    dialog.WillChoose(list);
    Click(Form().cmdOpen);

    EXPECT_EQ(dialog.shown, std::vector<std::string>{"open"});
    EXPECT_EQ(dialog.lastOwner, Hwnd());
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases : 4");
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 2");
    EXPECT_TRUE(Form().cmdSave.Enabled());
    EXPECT_TRUE(Form().cmdSaveOpen.Enabled());
    EXPECT_FALSE(Form().prog.Visible());
    EXPECT_EQ(ShownPosition(Form().prog), 10001);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(DraggedOnce()) << "a run that ends without an error asks for the move";
}

TEST_F(OpenTest, CancellingTheOpenDialogChangesNothing) {
    dialog.WillCancel();
    Click(Form().cmdOpen);

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"You have cancelled the process.");
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(boxes.shown[0].owner, Hwnd());
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases");
    EXPECT_FALSE(Form().cmdSave.Enabled());
    EXPECT_FALSE(Form().prog.Visible());
    EXPECT_TRUE(seam.calls.empty()) << "no move request on the error path:\n"
                                    << Describe(seam.calls);
}

TEST_F(OpenTest, ANameWithoutTxtReadsNothingAndSaysNothing) {
    const std::wstring list = WriteList("x\r\n", L".csv");
    dialog.WillChoose(list);
    Click(Form().cmdOpen);

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases");
    EXPECT_FALSE(Form().cmdSave.Enabled());
    EXPECT_FALSE(Form().prog.Visible());
    EXPECT_EQ(Form().Engine().strFileName(), win32::WideToUtf8(list));
    EXPECT_TRUE(DraggedOnce());
}

TEST_F(OpenTest, AMissingFileIsReportedAndLeavesTheWindowAsItWas) {
    dialog.WillChoose(TempPath(L"no-such-list.txt"));
    Click(Form().cmdOpen);

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind(L"Unable to open description file \r", 0), 0u)
        << win32::WideToUtf8(boxes.shown[0].text);
    EXPECT_GT(boxes.shown[0].text.size(),
              std::wstring(L"Unable to open description file \r").size());
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Error);
    EXPECT_FALSE(Form().prog.Visible());
    EXPECT_FALSE(Form().cmdSave.Enabled());
    EXPECT_TRUE(seam.calls.empty());
}

TEST_F(OpenTest, AnEmptyFileCountsZeroAndStillEnablesSaving) {
    dialog.WillChoose(WriteList(""));
    Click(Form().cmdOpen);

    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases : 0");
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 0");
    EXPECT_TRUE(Form().cmdSave.Enabled());
    EXPECT_TRUE(Form().cmdSaveOpen.Enabled());
    EXPECT_FALSE(Form().prog.Visible());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(OpenTest, DisabledSaveButtonsDoNothingWhenPressed) {
    // A press on a disabled child reaches the form at that place.
    for (const CommandButton* button : {&Form().cmdSave, &Form().cmdSaveOpen}) {
        const POINT centre = Centre(ChildRect(button->hWnd()));
        MouseDown(MouseButton::Left, centre);
        MouseUp(MouseButton::Left, centre);
    }
    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_TRUE(seam.calls.empty()) << "a press on a button does not move the window";
}

TEST_F(OpenTest, SavingWritesTheSortedUniqueLines) {
    dialog.WillChoose(WriteList("pear\r\napple\r\npear\r\n"));
    Click(Form().cmdOpen);
    const std::wstring target = TempPath(L"result");
    dialog.WillChoose(target);
    Click(Form().cmdSave);

    EXPECT_EQ(dialog.shown, (std::vector<std::string>{"open", "save"}));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"File saved successfully");
    EXPECT_EQ(boxes.shown[0].title, L"Ostrel");
    EXPECT_EQ(ReadFile(target + L".txt"), "apple\r\npear\r\n");
    TempPath(L"result.txt");  // removed afterwards
}

// The Save dialog asked about the name it gave back; a file that only the ".txt" rule names
// is replaced on Yes, and No is a cancelled save.
TEST_F(OpenTest, AFileThatOnlyTheTxtRuleNamesIsReplacedOnlyOnYes) {
    dialog.WillChoose(WriteList("one\r\n"));
    Click(Form().cmdOpen);
    const std::wstring existing = WriteList("old\r\n", L".csv.txt");
    const std::wstring typed = existing.substr(0, existing.size() - 4);
    dialog.WillChoose(typed);
    Click(Form().cmdSaveOpen);  // no reply scripted: No
    ASSERT_EQ(boxes.questions.size(), 1u);
    EXPECT_EQ(boxes.questions[0].text, existing.substr(existing.rfind(L'\\') + 1) +
                                           L" already exists. Do you want to replace it?");
    EXPECT_EQ(boxes.questions[0].owner, Hwnd());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"The Process was cancelled.");
    EXPECT_TRUE(launcher.started.empty());
    EXPECT_EQ(ReadFile(existing), "old\r\n");

    boxes.replies = {true};
    dialog.WillChoose(typed);
    Click(Form().cmdSave);
    EXPECT_EQ(boxes.questions.size(), 2u);
    EXPECT_EQ(boxes.shown.back().text, L"File saved successfully");
    EXPECT_EQ(ReadFile(existing), "one\r\n");
}

TEST_F(OpenTest, SaveAndOpenStartsNotepadMaximisedOnTheSavedFile) {
    dialog.WillChoose(WriteList("one\r\n"));
    Click(Form().cmdOpen);
    const std::wstring target = TempPath(L"opened.txt");
    dialog.WillChoose(target);
    Click(Form().cmdSaveOpen);

    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0].commandLine.rfind(L"notepad ", 0), 0u);
    EXPECT_NE(launcher.started[0].commandLine.find(target), std::wstring::npos);
    EXPECT_EQ(launcher.started[0].showWindow, 3);
    EXPECT_EQ(ReadFile(target), "one\r\n");
}

TEST_F(OpenTest, ErrorsNoHandlerTrapsAreReportedAndTheProgramGoesOn) {
    dialog.WillChoose(WriteList("one\r\n"));
    Click(Form().cmdOpen);
    struct Case {
        std::exception_ptr failure;
        std::wstring text;
    };
    const Case cases[] = {
        {std::make_exception_ptr(RuntimeError(53, "File not found")),
         L"Run-time error '53':\r\n\r\nFile not found"},
        {std::make_exception_ptr(std::bad_alloc()), L"Run-time error '7':\r\n\r\nOut of memory"},
        {std::make_exception_ptr(std::runtime_error("broken")),
         L"Run-time error '51':\r\n\r\nbroken"},
    };
    for (const Case& c : cases) {
        boxes.shown.clear();
        launcher.failure = c.failure;
        dialog.WillChoose(TempPath(L"saved.txt"));
        Click(Form().cmdSaveOpen);
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.shown[0].text, L"File saved successfully");
        EXPECT_EQ(boxes.shown[1].text, c.text);
        EXPECT_EQ(boxes.shown[1].icon, MessageIcon::Error);
        EXPECT_EQ(boxes.shown[1].owner, Hwnd());
        EXPECT_TRUE(::IsWindow(Hwnd()));
    }
    // The window still answers.
    launcher.failure = nullptr;
    dialog.WillCancel();
    Click(Form().cmdOpen);
    EXPECT_EQ(dialog.shown.back(), "open");
}

TEST_F(OpenTest, ProgressRepaintsAreRationedWhileTheLoopDoesNotRun) {
    // 20000 changes in a row. The bar repaints itself at most about 30 times a second: no two
    // forced repaints lie less than 33 ms apart on the system's clock, whatever the speed of the
    // machine, and the clock is read once per 128 changes at most.
    ProgressBar& bar = Form().prog;
    const ULONGLONG start = ::GetTickCount64();
    bar.SetVisible(true);
    seam.calls.clear();
    for (int i = 0; i < 20000; ++i) bar.SetValue(static_cast<float>(i % 10000 + 1));
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    const std::vector<User32Call> repaints = seam.Named("RedrawWindow");
    EXPECT_EQ(repaints.size(), seam.calls.size()) << Describe(seam.calls);
    for (const User32Call& repaint : repaints)
        EXPECT_EQ(repaint.args,
                  (std::vector<long long>{H(Hwnd()), 0, 0, RDW_UPDATENOW | RDW_ALLCHILDREN}));
    EXPECT_LE(repaints.size(), elapsed / 33) << elapsed << " ms";
    EXPECT_LE(repaints.size(), 156u);  // 20000 / 128
    EXPECT_FLOAT_EQ(bar.Value(), 10000);
    bar.SetVisible(false);
    EXPECT_EQ(ShownPosition(bar), 10000) << "the control shows the last value once hidden";
}

// A dialog closed over the window leaves it to be drawn again; the bar's repaints draw whatever
// is invalid, the window and its buttons included, while the loop does not run.
TEST_F(OpenTest, TheBarsRepaintsRedrawWhateverPartOfTheWindowIsInvalid) {
    ProgressBar& bar = Form().prog;
    bar.SetVisible(true);
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
    ::InvalidateRect(Form().cmdOpen.hWnd(), nullptr, FALSE);
    seam.calls.clear();
    for (int i = 0; seam.calls.empty() && i < 100000000; ++i)
        bar.SetValue(static_cast<float>(i % 10000 + 1));
    ASSERT_FALSE(seam.calls.empty());
    RECT stale{};
    EXPECT_FALSE(::GetUpdateRect(Hwnd(), &stale, FALSE));
    EXPECT_FALSE(::GetUpdateRect(Form().cmdOpen.hWnd(), &stale, FALSE));
    bar.SetVisible(false);
}

TEST_F(OpenTest, ALongListShowsTheBarWhileReadingAndHidesItAfter) {
    std::string lines;
    for (int i = 0; i < 30000; ++i) lines += "phrase " + std::to_string(i % 20000) + "\r\n";
    dialog.WillChoose(WriteList(lines));
    Click(Form().cmdOpen);
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases : 30000");
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 20000");
    EXPECT_FALSE(Form().prog.Visible());
    EXPECT_FLOAT_EQ(Form().prog.Value(), 10001);
}

// The real window-system calls, with no button held: the move request at the end of a run
// returns at once and the window stays where it was.
class RealSeamTest : public WindowTest {};

TEST_F(RealSeamTest, AnOpenRunReturnsAndTheWindowStaysPut) {
    StartWindow(&real);
    const RECT before = OuterRect();
    dialog.WillChoose(WriteList("a\r\nb\r\n"));
    Click(Form().cmdOpen);
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 2");

    MouseDown(MouseButton::Left, POINT{150, 215});  // bare background
    MouseUp(MouseButton::Left, POINT{150, 215});
    const RECT after = OuterRect();
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
}

}  // namespace
}  // namespace ostrel::ui::test
