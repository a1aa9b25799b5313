// Opening through the window a list that another program holds without sharing, and a list
// whose folder and file names lie outside the ANSI code page.
#include <windows.h>

#include <string>

#include "tests/ui/window_fixture.h"
#include "win32/wide_string.h"

namespace ostrel::ui::test {
namespace {

class WindowPathsTest : public WindowTest {
  protected:
    void SetUp() override { StartWindow(); }
};

TEST_F(WindowPathsTest, AListLockedByAnotherProgramIsReportedWithItsName) {
    const std::wstring list = WriteList("kept\r\nkept\r\n");
    // Held as another program would hold it: opened with no sharing at all.
    HANDLE lock = ::CreateFileW(list.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    dialog.WillChoose(list);
    Click(Form().cmdOpen);
    ::CloseHandle(lock);

    ASSERT_EQ(boxes.shown.size(), 1u);
    const std::wstring& text = boxes.shown[0].text;
    const std::wstring head = L"Unable to open description file \r";
    EXPECT_EQ(text.rfind(head, 0), 0u) << win32::WideToUtf8(text);
    EXPECT_EQ(text.find(L'\n'), std::wstring::npos) << "a carriage return alone";
    EXPECT_NE(text.find(list, head.size()), std::wstring::npos)
        << "the reason names the file: " << win32::WideToUtf8(text);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases");
    EXPECT_FALSE(Form().cmdSave.Enabled());
    EXPECT_FALSE(Form().prog.Visible());

    // Once the other program lets go, the same list opens.
    boxes.shown.clear();
    dialog.WillChoose(list);
    Click(Form().cmdOpen);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases : 2");
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 1");
}

TEST_F(WindowPathsTest, NamesOutsideTheAnsiCodePageOpenAndSave) {
    // Cyrillic and Chinese: no single ANSI code page holds both.
    const std::wstring folder = TempPath(L"\u041F\u0430\u043F\u043A\u0430-\u6587\u4EF6\u5939");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring list = folder + L"\\\u0421\u043F\u0438\u0441\u043E\u043A-\u5217\u8868.txt";
    const std::wstring target = folder + L"\\\u0418\u0442\u043E\u0433-\u7ED3\u679C.txt";
    {
        HANDLE file = ::CreateFileW(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const std::string bytes = "pear\r\napple\r\n  pear \r\n";
        DWORD written = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(file);
    }

    dialog.WillChoose(list);
    Click(Form().cmdOpen);
    EXPECT_TRUE(boxes.shown.empty()) << win32::WideToUtf8(boxes.shown.front().text);
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases : 3");
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 2");

    dialog.WillChoose(target);
    Click(Form().cmdSave);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"File saved successfully")
        << win32::WideToUtf8(boxes.shown[0].text);
    EXPECT_EQ(ReadFile(target), "apple\r\npear\r\n");
    EXPECT_EQ(Form().Engine().strFileName(), win32::WideToUtf8(target));

    ::DeleteFileW(target.c_str());
    ::DeleteFileW(list.c_str());
    EXPECT_TRUE(::RemoveDirectoryW(folder.c_str()));
}

}  // namespace
}  // namespace ostrel::ui::test
