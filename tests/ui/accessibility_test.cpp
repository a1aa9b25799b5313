// Screen readers: the window read from another process as a screen reader reads it
// (tests/ui/msaa_probe.cpp), before and after a run, and a client that holds on to the window's
// object after the window has gone.
#include <windows.h>
#include <oleacc.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "tests/ui/window_fixture.h"
#include "ui/accessible_ids.h"
#include "win32/wide_string.h"

namespace ostrel::ui::test {
namespace {

class AccessibilityTest : public WindowTest {
  protected:
    // Runs the prober on the window (or on `target`) and returns what it printed, one entry a
    // line. This thread answers the prober's every call, so it handles messages until the
    // prober ends; `watching` runs once the prober watches for name changes.
    std::vector<std::string> Probe(int changes, const std::function<void()>& watching,
                                   HWND target = nullptr) {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring probe(self);
        probe.erase(probe.find_last_of(L'\\') + 1).append(L"ostrel_msaa_probe.exe");
        const std::wstring ready = L"ostrel-msaa-ready-" + std::to_wstring(::GetCurrentProcessId());
        const win32::Handle readyEvent(::CreateEventW(nullptr, TRUE, FALSE, ready.c_str()));
        const std::wstring outputPath = TempPath(L"probe.txt");
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        win32::Handle output(::CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                           &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                           nullptr));
        std::wstring command = L"\"" + probe + L"\" " +
                               std::to_wstring(reinterpret_cast<INT_PTR>(target ? target : Hwnd()));
        if (changes > 0) command += L" " + ready + L" " + std::to_wstring(changes);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.Get();
        startup.hStdError = output.Get();
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(probe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                              nullptr, &startup, &started)) {
            ADD_FAILURE() << "the prober did not start";
            return {};
        }
        const win32::Handle process(started.hProcess);
        const win32::Handle thread(started.hThread);
        output.Reset();
        bool watched = changes == 0;
        for (;;) {
            HANDLE waits[] = {process.Get(), readyEvent.Get()};
            const DWORD woken =
                ::MsgWaitForMultipleObjects(watched ? 1 : 2, waits, FALSE, 120000, QS_ALLINPUT);
            if (woken == WAIT_OBJECT_0) break;
            if (woken == WAIT_TIMEOUT) {
                ::TerminateProcess(process.Get(), 1);
                ADD_FAILURE() << "the prober did not end";
                break;
            }
            if (woken == WAIT_OBJECT_0 + 1 && !watched) {
                watched = true;
                watching();
            }
            DoEvents();
        }
        DWORD exitCode = 0;
        ::GetExitCodeProcess(process.Get(), &exitCode);
        std::istringstream text(ReadFile(outputPath));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        EXPECT_EQ(exitCode, 0u) << ::testing::PrintToString(lines);
        return lines;
    }

    // The probe line of a windowless control: role, name, where it shows on screen, and the
    // name found at its centre.
    std::string Line(const WindowlessControl& control, int role, const std::string& name) {
        RECT box = control.Bounds();
        ::MapWindowPoints(Hwnd(), nullptr, reinterpret_cast<POINT*>(&box), 2);
        std::ostringstream line;
        line << "child\t" << role << "\t" << name << "\t" << box.left << "," << box.top << ","
             << box.right - box.left << "," << box.bottom - box.top << "\t" << name;
        return line.str();
    }
};

// The tab-separated field `index` of a probe line.
std::string Field(const std::string& line, int index) {
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i <= index; ++i) std::getline(fields, field, '\t');
    return field;
}

constexpr int kStaticText = 0x29;  // ROLE_SYSTEM_STATICTEXT
constexpr int kPushButton = 0x2B;  // ROLE_SYSTEM_PUSHBUTTON

TEST_F(AccessibilityTest, AScreenReaderFindsTheCountsTheNoticeAndTheImageButtons) {
    StartWindow();
    frmDuplicate& f = Form();
    const std::string notice = win32::WideToUtf8(kOwnerNotice);
    const std::wstring list = WriteList("pear\r\nPear\r\nfig\r\n\r\n");
    const std::vector<std::string> lines = Probe(2, [&] {
        dialog.WillChoose(list);
        Click(f.cmdOpen);
    });

    // The child windows first, as before: the three buttons and the progress bar. Then the
    // windowless controls, by name and role where they show, and the same name under the
    // pointer there.
    const std::vector<std::string> before{
        Line(f.lblActualRowCount, kStaticText, "Actual Keyword Phrases"),
        Line(f.lblFinalRowCount, kStaticText, "Final Keyword Phrases"),
        Line(f.Label1, kStaticText, notice),
        Line(f.imgMinUp, kPushButton, "Minimize"),
        Line(f.impCloseUp, kPushButton, "Close"),
    };
    const std::vector<std::string> after{
        Line(f.lblActualRowCount, kStaticText, "Actual Keyword Phrases : 3"),
        Line(f.lblFinalRowCount, kStaticText, "Final Keyword Phrases : 2"),
        before[2],
        before[3],
        before[4],
    };
    // Announced as the run ends, each count by its new name.
    const std::vector<std::string> changes{"changed\tActual Keyword Phrases : 3",
                                           "changed\tFinal Keyword Phrases : 2"};
    ASSERT_EQ(lines.size(), 2 * 9 + 2u) << ::testing::PrintToString(lines);
    std::vector<std::string> windowNames;
    for (std::size_t i = 0; i < 4; ++i) windowNames.push_back(Field(lines[i], 2));
    EXPECT_EQ(windowNames,
              (std::vector<std::string>{"Open & Remove Duplicate", "", "Save", "Save & Open"}));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.begin() + 9), before);
    std::vector<std::string> announced(lines.begin() + 9, lines.begin() + 11);
    std::sort(announced.begin(), announced.end());  // the system may deliver them in any order
    EXPECT_EQ(announced, changes);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 15, lines.end()), after);
}

TEST_F(AccessibilityTest, AClientHoldingTheObjectAfterTheWindowHasGoneIsToldItIsGone) {
    StartWindow();
    IAccessible* client = nullptr;
    ASSERT_EQ(::AccessibleObjectFromWindow(Hwnd(), static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                           reinterpret_cast<void**>(&client)),
              S_OK);
    LONG count = 0;
    EXPECT_EQ(client->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 9);
    TearDown();  // the window goes; the client still holds its reference

    VARIANT label;
    ::VariantInit(&label);
    label.vt = VT_I4;
    label.lVal = 5;
    BSTR name = nullptr;
    EXPECT_EQ(client->get_accName(label, &name), RPC_E_DISCONNECTED);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(client->get_accChildCount(&count), RPC_E_DISCONNECTED);
    client->Release();
}

// The real message box, answered from inside its own modal loop: a CBT hook notes the box when
// it is activated, and a timer, run once the box is idle, looks at it and then closes it.
struct BoxVisit {
    std::function<void(HWND box)> look;
    HWND box = nullptr;
};
BoxVisit* g_visit = nullptr;
HHOOK g_boxHook = nullptr;
void CALLBACK LookAtBox(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    g_visit->look(g_visit->box);
    ::PostMessageW(g_visit->box, WM_COMMAND, IDOK, 0);
}
LRESULT CALLBACK WatchBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_visit && !g_visit->box) {
        g_visit->box = reinterpret_cast<HWND>(wParam);
        ::SetTimer(nullptr, 0, 0, LookAtBox);
    }
    return ::CallNextHookEx(g_boxHook, code, wParam, lParam);
}

// The words a screen reader speaks in a name: its runs of characters between white space, a
// line break included.
std::vector<std::string> Words(const std::string& name) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : name + " ") {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    return words;
}

// The two error messages join their heading to the reason with a lone CR: the box shows the
// reason on a line of its own, and a screen reader reads "file Permission", not one word.
TEST_F(AccessibilityTest, AnErrorMessageShowsAndReadsItsHeadingAndReasonApart) {
    StartWindow();
    const std::string heading = "Unable to write file";
    const std::string reason = "Permission denied: C:\\list.txt";
    int textHeight = 0, lineHeight = 0;
    std::vector<std::string> lines;
    BoxVisit visit;
    visit.look = [&](HWND box) {
        HWND text = ::GetDlgItem(box, 0xFFFF);  // the message's static control
        RECT shown{};
        ::GetClientRect(text, &shown);
        textHeight = shown.bottom;
        const win32::WindowDc dc(text);
        const HGDIOBJ font = ::SelectObject(
            dc.Get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(text, WM_GETFONT, 0, 0)));
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc.Get(), &metrics);
        ::SelectObject(dc.Get(), font);
        lineHeight = metrics.tmHeight;
        lines = Probe(
            0, [] {}, box);
    };
    g_visit = &visit;
    g_boxHook = ::SetWindowsHookExW(WH_CBT, WatchBox, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(g_boxHook, nullptr);
    SystemMessageBoxes().Show(Hwnd(), win32::Utf8ToWide(heading + "\r" + reason),
                              MessageIcon::Error, L"");
    ::UnhookWindowsHookEx(g_boxHook);
    g_visit = nullptr;

    ASSERT_NE(visit.box, nullptr);
    EXPECT_GE(textHeight, 2 * lineHeight) << "the reason shares the heading's line";
    std::string name;
    for (const std::string& line : lines)
        if (Field(line, 2).rfind(heading, 0) == 0) name = Field(line, 2);
    ASSERT_FALSE(name.empty()) << ::testing::PrintToString(lines);
    const std::vector<std::string> words = Words(name);
    const auto file = std::find(words.begin(), words.end(), "file");
    ASSERT_NE(file, words.end()) << name;
    ASSERT_NE(file + 1, words.end()) << name;
    EXPECT_EQ(*(file + 1), "Permission") << ::testing::PrintToString(name);
}

}  // namespace
}  // namespace ostrel::ui::test
