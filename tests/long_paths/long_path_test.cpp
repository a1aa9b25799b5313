// Long paths: the form in which paths reach Windows' file functions, and a list opened and
// saved in a folder whose path is longer than MAX_PATH. Wine does not enforce the limit, so the
// round trip shows that the converted paths work, not that Windows would refuse the others.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/duplicate_engine.h"
#include "tests/engine/test_support.h"
#include "win32/long_path.h"

namespace ostrel {
namespace {

using win32::LongPath;

TEST(LongPath, DriveAndNetworkPathsTakeTheLongForm) {
    EXPECT_EQ(LongPath(L"C:\\lists\\birds.txt"), L"\\\\?\\C:\\lists\\birds.txt");
    EXPECT_EQ(LongPath(L"\\\\server\\share\\birds.txt"), L"\\\\?\\UNC\\server\\share\\birds.txt");
}

TEST(LongPath, SlashesAndDotPartsAreResolvedFirst) {
    EXPECT_EQ(LongPath(L"C:/lists/./old/../birds.txt"), L"\\\\?\\C:\\lists\\birds.txt");
    EXPECT_EQ(LongPath(L"//server/share/old/../birds.txt"),
              L"\\\\?\\UNC\\server\\share\\birds.txt");
}

TEST(LongPath, RelativePathsStartFromTheCurrentFolder) {
    std::wstring saved(MAX_PATH, L'\0');
    saved.resize(::GetCurrentDirectoryW(MAX_PATH, saved.data()));
    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\windows"));
    EXPECT_EQ(LongPath(L"birds.txt"), L"\\\\?\\C:\\windows\\birds.txt");
    EXPECT_EQ(LongPath(L"..\\lists\\birds.txt"), L"\\\\?\\C:\\lists\\birds.txt");
    EXPECT_EQ(LongPath(L"\\birds.txt"), L"\\\\?\\C:\\birds.txt");
    ::SetCurrentDirectoryW(saved.c_str());
}

TEST(LongPath, PathsAlreadyInTheDeviceNamespaceStayAsGiven) {
    for (const std::wstring path :
         {L"\\\\?\\C:\\old\\..\\birds.txt", L"\\\\?\\UNC\\server\\share\\birds.txt",
          L"\\\\.\\C:\\birds.txt", L"\\??\\C:\\birds.txt", L""})
        EXPECT_EQ(LongPath(path), path);
}

TEST(LongPath, WholeAtOneShortOfMaxPathAtItAndPastIt) {
    for (const std::size_t length : {259u, 260u, 261u}) {
        const std::wstring path = L"C:\\" + std::wstring(100, L'a') + L"\\" +
                                  std::wstring(100, L'b') + L"\\" +
                                  std::wstring(length - 205, L'c');
        ASSERT_EQ(path.size(), length);
        EXPECT_EQ(LongPath(path), L"\\\\?\\" + path) << length;
    }
}

// The runtime's folder listing stops at MAX_PATH, and with it the scratch folder's removal:
// this one lists and removes through the long form.
class LongPathRoundTrip : public test::ScratchDir {
  protected:
    void TearDown() override {
        const test::fs::path folder = Folder();
        for (const std::wstring& name : Names())
            ::DeleteFileW(LongPath(folder.wstring() + L"\\" + name).c_str());
        ::RemoveDirectoryW(LongPath(folder.wstring()).c_str());
        ::RemoveDirectoryW(LongPath(folder.parent_path().wstring()).c_str());
        test::ScratchDir::TearDown();
    }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        const HANDLE find = ::FindFirstFileW(LongPath(Folder().wstring() + L"\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") names.push_back(name);
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
        std::sort(names.begin(), names.end());
        return names;
    }

    // A folder whose path is longer than MAX_PATH by itself.
    test::fs::path Folder() const { return Dir() / std::string(120, 'f') / std::string(120, 'g'); }
};

TEST_F(LongPathRoundTrip, AListIsOpenedSavedAndReplacedInAFolderPastMaxPath) {
    const test::fs::path folder = Folder();
    test::fs::create_directories(folder);
    test::WriteBytes(folder / "birds.txt", "Kestrel\r\nred kite\r\nkestrel\r\n");
    const std::string list = test::Utf8(folder / "birds.txt");
    const std::string target = test::Utf8(folder / "unique.txt");
    ASSERT_GT(list.size(), 260u);

    test::FakeUi ui;
    DuplicateEngine engine{ui};
    engine.OpenList(list);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.actualCaption, "Actual Keyword Phrases : 3");
    EXPECT_EQ(ui.finalCaption, "Final Keyword Phrases : 2");
    for (const char* save : {"a new file", "the file replaced"}) {
        ui.Clear();
        ui.Answer(target);
        engine.cmdSave_Click();
        ASSERT_EQ(ui.messages.size(), 1u) << save;
        EXPECT_EQ(ui.messages[0].text, "File saved successfully") << save;
    }
    EXPECT_EQ(test::ReadBytes(folder / "unique.txt"), "Kestrel\r\nred kite\r\n");
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"birds.txt", L"unique.txt"}));

    // A message names the path as given, not in its long form.
    ui.Clear();
    const std::string gone = test::Utf8(folder / "gone.txt");
    engine.OpenList(gone);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Unable to open description file \rFile not found: " + gone);
}

}  // namespace
}  // namespace ostrel
