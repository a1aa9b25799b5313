// Saving over what is already there: a replaced file keeps its permissions, owner and links;
// folders, devices, pipes, sockets and names Windows keeps for devices are refused before
// anything is opened or written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "engine/duplicate_engine.h"
#include "engine/files/file_system.h"
#include "engine/files/unfinished_file.h"
#include "engine/text/text_file_writer.h"
#include "tests/engine/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace ostrel {
namespace {

using V = std::vector<std::string>;
namespace fs = test::fs;

constexpr char kSaved[] = "File saved successfully";
constexpr char kWritten[] = "a\r\nb\r\n";

// Each test has "b", "a" read and saves them as "a", "b".
class SaveTarget : public test::ScratchDir {
  protected:
    void SetUp() override {
        ScratchDir::SetUp();
        ui.Answer(File("in.txt", "b\r\na\r\n"));
        engine.cmdOpen_Click();
        ASSERT_TRUE(ui.messages.empty());
    }
    // Saves to the path as the dialog gives it; the one message shown.
    std::string Save(const std::string& path) {
        ui.Clear();
        ui.Answer(path);
        engine.cmdSave_Click();
        EXPECT_EQ(ui.messages.size(), 1u);
        return ui.messages.empty() ? std::string() : ui.messages[0].text;
    }
    std::string Read(const std::string& name) { return test::ReadBytes(Dir() / name); }
    static V ListingOf(const fs::path& dir) {
        V names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(test::Utf8(e.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }

    test::FakeUi ui;
    DuplicateEngine engine{ui};
};

TEST(ReservedDeviceName, IsTheDeviceWithOrWithoutAnExtensionInAnyCase) {
    for (const char* name : {"NUL",          "nul",
                             "Nul.txt",      "CON",
                             "con.txt",      "PRN",
                             "prn.TXT",      "AUX",
                             "aux.list.txt", "COM1",
                             "Com1.txt",     "com9.txt",
                             "COM5",         "LPT1",
                             "lpt9.txt",     "Lpt4.csv.txt",
                             "NUL.",         "nul .txt",
                             "CON  ",        "CONIN$",
                             "conout$.txt",  "COM\xC2\xB9.txt",
                             "lpt\xC2\xB3"}) {
        EXPECT_TRUE(IsReservedDeviceName(name)) << name;
    }
    for (const char* name :
         {"", "NULL", "nul1.txt", "null.txt", "COM0", "COM10", "com1x.txt", "LPT", "LPT0.txt",
          "console.txt", "xnul.txt", "auxiliary.txt", "nul_list.txt", "a.nul", "list.con.txt",
          ".nul", " nul.txt", "COM\xC2\xB2x", "CONIN"}) {
        EXPECT_FALSE(IsReservedDeviceName(name)) << name;
    }
}

TEST(FileErrorText, NamesTheFileAndItsReasonOnce) {
    EXPECT_EQ(FileError(ENOENT, "d/x.txt", false).Description(), "File not found: d/x.txt");
    EXPECT_EQ(FileError(ENOENT, "d/x.txt", true).Description(), "Path not found: d/x.txt");
    EXPECT_EQ(FileError(ENOMEM, "x.txt", false).Description(), "Out of memory while reading x.txt");
    EXPECT_EQ(FileError(ENOMEM, "x.txt", true).Description(), "Out of memory while writing x.txt");
    EXPECT_EQ(FileError(ENOSPC, "x.txt", true).Description(), "Disk full while writing x.txt");
    EXPECT_EQ(FileError(EISDIR, "x.txt", true).Description(),
              "This is a folder, not a file: x.txt");
    const std::string io = FileError(EIO, "x.txt", true).Description();
    EXPECT_EQ(io, std::string(std::strerror(EIO)) + ": x.txt");
}

TEST_F(SaveTarget, AFileWithOtherHardLinksIsReplacedUnderTheNameSavedTo) {
    test::WriteBytes(Dir() / "a.txt", "old\r\n");
    fs::create_hard_link(Dir() / "a.txt", Dir() / "b.txt");
    EXPECT_EQ(Save(PathOf("a.txt")), kSaved);
    EXPECT_EQ(Read("a.txt"), kWritten);
    EXPECT_EQ(Read("b.txt"), "old\r\n");
    EXPECT_EQ(ListingOf(Dir()), (V{"a.txt", "b.txt", "in.txt"}));
}

// A save that was killed leaves its temporary file behind; the next save to the folder removes
// it, but not one that a running save holds, nor any file of another name.
TEST_F(SaveTarget, TheNextSaveRemovesTemporaryFilesThatNoSaveHolds) {
    File("~ostrel-111.tmp", "killed");
    for (const char* name : {"ostrel-3.tmp", "x~ostrel-5.tmp", "~ostrel-.tmp", "~ostrel-12a.tmp",
                             "~ostrel-4.tmp.txt", "~ostrel-6.TMP"})
        File(name, "other");
    fs::create_directory(Dir() / "~ostrel-7.tmp");
    std::FILE* running = nullptr;  // made and held as a running save makes and holds its own
    ASSERT_EQ(CreateNewFile(PathOf("~ostrel-222.tmp"), true, "", running), NewFile::Made);
    unfinished_file::Clear();
    EXPECT_EQ(Save(PathOf("out.txt")), kSaved);
    std::fclose(running);
    EXPECT_EQ(ListingOf(Dir()), (V{"in.txt", "ostrel-3.tmp", "out.txt", "x~ostrel-5.tmp",
                                   "~ostrel-.tmp", "~ostrel-12a.tmp", "~ostrel-222.tmp",
                                   "~ostrel-4.tmp.txt", "~ostrel-6.TMP", "~ostrel-7.tmp"}));
}

#ifdef _WIN32

TEST_F(SaveTarget, NamesReservedForDevicesAreRefusedBeforeAnythingIsWritten) {
    for (const char* name : {"NUL.txt", "nul", "Com1.txt", "CON", "lpt9.txt", "aux.list.txt",
                             "PRN.TXT", "conout$.txt"}) {
        const std::string path = PathOf(name);
        const std::string named = ContainsTxt(path) ? path : path + ".txt";
        EXPECT_EQ(Save(path),
                  "Unable to write file\rThis name is reserved for a device on Windows: " + named);
        EXPECT_EQ(ListingOf(Dir()), V{"in.txt"}) << name;
    }
}

TEST_F(SaveTarget, DevicePathsAreRefusedAtOnce) {
    EXPECT_EQ(Save("\\\\.\\pipe\\ostrel-test.txt"),
              "Unable to write file\rThis is a pipe, not a file: \\\\.\\pipe\\ostrel-test.txt");
    EXPECT_EQ(Save("//./pipe/ostrel-test.txt"),
              "Unable to write file\rThis is a pipe, not a file: //./pipe/ostrel-test.txt");
    EXPECT_EQ(Save("\\\\.\\COM1"),
              "Unable to write file\rThis names a device, not a file: \\\\.\\COM1.txt");
    EXPECT_EQ(Save("\\\\?\\GLOBALROOT\\Device\\Null"),
              "Unable to write file\rThis names a device, not a file: "
              "\\\\?\\GLOBALROOT\\Device\\Null.txt");
    EXPECT_EQ(Save("\\\\.\\NUL.txt"),
              "Unable to write file\rThis names a device, not a file: \\\\.\\NUL.txt");
    // The long form of a path on a drive names a file like any other.
    const std::string longForm = "\\\\?\\" + fs::absolute(Dir() / "long.txt").string();
    EXPECT_EQ(Save(longForm), kSaved);
    EXPECT_EQ(Read("long.txt"), kWritten);
    EXPECT_EQ(ListingOf(Dir()), (V{"in.txt", "long.txt"}));
}

#else  // !_WIN32

TEST_F(SaveTarget, NamesWindowsKeepsForDevicesAreOrdinaryNamesHere) {
    EXPECT_EQ(Save(PathOf("nul.txt")), kSaved);
    EXPECT_EQ(Save(PathOf("Com1")), kSaved);
    EXPECT_EQ(Read("nul.txt"), kWritten);
    EXPECT_EQ(Read("Com1.txt"), kWritten);
}

// Where a link leads, or "<not a link>".
std::string LinkOf(const fs::path& p) {
    std::error_code ec;
    const fs::path to = fs::read_symlink(p, ec);
    return ec ? "<not a link>" : to.string();
}

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

TEST_F(SaveTarget, AReplacedFileKeepsItsPermissions) {
    for (const mode_t mode : {0600, 0640, 0604, 0660}) {
        test::WriteBytes(Dir() / "out.txt", "old\r\n");
        ASSERT_EQ(::chmod((Dir() / "out.txt").c_str(), mode), 0);
        EXPECT_EQ(Save(PathOf("out.txt")), kSaved);
        EXPECT_EQ(Read("out.txt"), kWritten);
        EXPECT_EQ(ModeOf(Dir() / "out.txt"), mode) << std::oct << mode;
    }
    // A new file gets what the process's file-creation mask leaves of read and write for all.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(Save(PathOf("new.txt")), kSaved);
    EXPECT_EQ(ModeOf(Dir() / "new.txt"), 0666 & ~mask);
    EXPECT_EQ(ListingOf(Dir()), (V{"in.txt", "new.txt", "out.txt"}));
}

// Runs as another user until destroyed: the effective user and group 65534, no other groups.
class AsUnprivilegedUser {
  public:
    AsUnprivilegedUser() {
        groups_.resize(static_cast<std::size_t>(::getgroups(0, nullptr)));
        ::getgroups(static_cast<int>(groups_.size()), groups_.data());
        ok_ = ::setgroups(0, nullptr) == 0 && ::setegid(65534) == 0 && ::seteuid(65534) == 0;
    }
    ~AsUnprivilegedUser() {
        EXPECT_EQ(::seteuid(0), 0);
        EXPECT_EQ(::setegid(0), 0);
        EXPECT_EQ(::setgroups(groups_.size(), groups_.data()), 0);
    }
    bool Ok() const { return ok_; }

  private:
    std::vector<gid_t> groups_;
    bool ok_ = false;
};

#define REQUIRE_ROOT() \
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to own files for others and drop to them"

TEST_F(SaveTarget, AReplacedFileKeepsItsOwner) {
    REQUIRE_ROOT();
    test::WriteBytes(Dir() / "out.txt", "old\r\n");
    ASSERT_EQ(::chown((Dir() / "out.txt").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod((Dir() / "out.txt").c_str(), 0640), 0);
    EXPECT_EQ(Save(PathOf("out.txt")), kSaved);
    struct stat st {};
    ASSERT_EQ(::stat((Dir() / "out.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Read("out.txt"), kWritten);
}

TEST_F(SaveTarget, AnOwnerTheUserMayNotGiveIsLeftToTheUser) {
    REQUIRE_ROOT();
    ASSERT_EQ(::chmod(Dir().c_str(), 0777), 0);
    test::WriteBytes(Dir() / "out.txt", "old\r\n");
    ASSERT_EQ(::chmod((Dir() / "out.txt").c_str(), 0666), 0);  // root's, writable by all
    {
        AsUnprivilegedUser user;
        ASSERT_TRUE(user.Ok());
        EXPECT_EQ(Save(PathOf("out.txt")), kSaved);
    }
    struct stat st {};
    ASSERT_EQ(::stat((Dir() / "out.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(Read("out.txt"), kWritten);
    EXPECT_EQ(ListingOf(Dir()), (V{"in.txt", "out.txt"}));
}

const std::string kFolderRefusal =
    "Unable to write file\rPermission denied (the folder may be read-only or not allow new "
    "files): ";

// A folder that takes no new file from the user, or lets none replace this one, still lets
// the user change a file it may write: the finished result is written over it in place.
TEST_F(SaveTarget, AWritableFileInAFolderThatRefusesNewFilesIsWrittenInPlace) {
    REQUIRE_ROOT();
    // In a folder with the sticky bit only a file's owner may replace it, however writable;
    // in a read-only one nobody may create a file.
    const V folders{"read-only", "sticky"};
    std::vector<ino_t> inodes;
    for (const std::string& folder : folders) {
        fs::create_directory(Dir() / folder);
        test::WriteBytes(Dir() / folder / "out.txt", "old content, longer than the new\r\n");
        ASSERT_EQ(::chmod((Dir() / folder / "out.txt").c_str(), 0646), 0);  // root's
        struct stat st {};
        ASSERT_EQ(::stat((Dir() / folder / "out.txt").c_str(), &st), 0);
        inodes.push_back(st.st_ino);
    }
    ASSERT_EQ(::chmod((Dir() / "read-only").c_str(), 0555), 0);
    ASSERT_EQ(::chmod((Dir() / "sticky").c_str(), 01777), 0);
    {
        AsUnprivilegedUser user;
        ASSERT_TRUE(user.Ok());
        for (const std::string& folder : folders)
            EXPECT_EQ(Save(PathOf(folder + "/out.txt")), kSaved) << folder;
        // A new file is the folder's to refuse, and the message names it.
        EXPECT_EQ(Save(PathOf("read-only/new.txt")), kFolderRefusal + PathOf("read-only"));
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const fs::path target = Dir() / folders[i] / "out.txt";
        EXPECT_EQ(test::ReadBytes(target), kWritten) << folders[i];
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_ino, inodes[i]);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(st.st_mode & 07777, 0646u);
        EXPECT_EQ(ListingOf(Dir() / folders[i]), V{"out.txt"});
    }
}

// Written in place, a result of several buffers arrives whole.
TEST_F(SaveTarget, ALargeResultWrittenInPlaceArrivesWhole) {
    REQUIRE_ROOT();
    constexpr int kLines = 200000;
    std::string list, expected;
    char line[32];
    for (int i = 0; i < kLines; ++i) {
        std::snprintf(line, sizeof line, "phrase %06d", static_cast<int>(i * 7919LL % kLines));
        list += std::string(line) + "\n";
        std::snprintf(line, sizeof line, "phrase %06d", i);
        expected += std::string(line) + "\r\n";
    }
    ui.Answer(File("big.txt", list));
    engine.cmdOpen_Click();
    fs::create_directory(Dir() / "read-only");
    const fs::path target = Dir() / "read-only" / "out.txt";
    test::WriteBytes(target, "old\r\n");
    ASSERT_EQ(::chmod(target.c_str(), 0666), 0);
    ASSERT_EQ(::chmod((Dir() / "read-only").c_str(), 0555), 0);
    {
        AsUnprivilegedUser user;
        ASSERT_TRUE(user.Ok());
        EXPECT_EQ(Save(test::Utf8(target)), kSaved);
    }
    EXPECT_EQ(test::ReadBytes(target), expected);
}

TEST_F(SaveTarget, AnInPlaceResultWithNoRoomLeavesTheOldContent) {
    REQUIRE_ROOT();
    fs::create_directory(Dir() / "read-only");
    const fs::path target = Dir() / "read-only" / "out.txt";
    test::WriteBytes(target, "old\r\n");
    ASSERT_EQ(::chmod(target.c_str(), 0666), 0);
    ASSERT_EQ(::chmod((Dir() / "read-only").c_str(), 0555), 0);
    // A file-size limit below the result's size refuses it, as a full disk does, before the
    // old content is touched.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4;
    std::string message;
    {
        AsUnprivilegedUser user;
        ASSERT_TRUE(user.Ok());
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
        message = Save(test::Utf8(target));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }
    EXPECT_EQ(message.rfind("Unable to write file\rFile too large: ", 0), 0u) << message;
    EXPECT_EQ(test::ReadBytes(target), "old\r\n");
    EXPECT_EQ(ListingOf(Dir() / "read-only"), V{"out.txt"});
}

// While a private file's successor is written, nobody else may read it: not even before it
// takes the replaced file's permissions.
TEST_F(SaveTarget, TheTemporaryFileOfAPrivateTargetIsPrivateFromItsCreation) {
    test::WriteBytes(Dir() / "out.txt", "old\r\n");
    ASSERT_EQ(::chmod((Dir() / "out.txt").c_str(), 0600), 0);
    const mode_t mask = ::umask(022);  // would leave a file made for all readable by all
    {
        TextFileWriter writer(PathOf("out.txt"), TextEncoding::Utf8, Windows1252());
        const V names = ListingOf(Dir());
        ASSERT_EQ(names.size(), 3u);
        EXPECT_EQ(names[2].rfind("~ostrel-", 0), 0u) << names[2];
        EXPECT_EQ(ModeOf(Dir() / names[2]), 0600u);
        writer.WriteLine("a");
        writer.Commit();
    }
    ::umask(mask);
    EXPECT_EQ(Read("out.txt"), "a\r\n");
    EXPECT_EQ(ModeOf(Dir() / "out.txt"), 0600u);
    EXPECT_EQ(ListingOf(Dir()), (V{"in.txt", "out.txt"}));
}

TEST_F(SaveTarget, ALinkIsFollowedToItsFileWhichIsReplacedWhileTheLinksStay) {
    fs::create_directory(Dir() / "sub");
    test::WriteBytes(Dir() / "sub" / "real.txt", "old\r\n");
    ASSERT_EQ(::chmod((Dir() / "sub" / "real.txt").c_str(), 0600), 0);
    fs::create_symlink("real.txt", Dir() / "sub" / "link.txt");
    fs::create_symlink("sub/link.txt", Dir() / "chain.txt");
    fs::create_symlink(Dir() / "chain.txt", Dir() / "absolute.txt");

    EXPECT_EQ(Save(PathOf("chain.txt")), kSaved);
    EXPECT_EQ(Read("sub/real.txt"), kWritten);
    EXPECT_EQ(ModeOf(Dir() / "sub" / "real.txt"), 0600u);
    EXPECT_EQ(LinkOf(Dir() / "chain.txt"), "sub/link.txt");
    EXPECT_EQ(LinkOf(Dir() / "sub" / "link.txt"), "real.txt");

    test::WriteBytes(Dir() / "sub" / "real.txt", "old\r\n");
    EXPECT_EQ(Save(PathOf("absolute.txt")), kSaved);
    EXPECT_EQ(Read("sub/real.txt"), kWritten);
    EXPECT_EQ(LinkOf(Dir() / "absolute.txt"), (Dir() / "chain.txt").string());
    EXPECT_EQ(ListingOf(Dir()), (V{"absolute.txt", "chain.txt", "in.txt", "sub"}));
    EXPECT_EQ(ListingOf(Dir() / "sub"), (V{"link.txt", "real.txt"}));
}

TEST_F(SaveTarget, TheTemporaryFileGoesBesideTheFileALinkLeadsTo) {
    REQUIRE_ROOT();
    // The link's folder takes no new files from the user; the file's folder does.
    fs::create_directory(Dir() / "links");
    fs::create_directory(Dir() / "files");
    ASSERT_EQ(::chmod(Dir().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((Dir() / "files").c_str(), 0777), 0);
    test::WriteBytes(Dir() / "files" / "real.txt", "old\r\n");
    ASSERT_EQ(::chmod((Dir() / "files" / "real.txt").c_str(), 0666), 0);
    fs::create_symlink("../files/real.txt", Dir() / "links" / "link.txt");
    {
        AsUnprivilegedUser user;
        ASSERT_TRUE(user.Ok());
        EXPECT_EQ(Save(PathOf("links/link.txt")), kSaved);
    }
    EXPECT_EQ(Read("files/real.txt"), kWritten);
    EXPECT_EQ(LinkOf(Dir() / "links" / "link.txt"), "../files/real.txt");
    EXPECT_EQ(ListingOf(Dir() / "files"), V{"real.txt"});
}

TEST_F(SaveTarget, ALinkToNoFileCreatesTheFileItNames) {
    fs::create_symlink("made.txt", Dir() / "dangling.txt");
    EXPECT_EQ(Save(PathOf("dangling.txt")), kSaved);
    EXPECT_EQ(Read("made.txt"), kWritten);
    EXPECT_EQ(LinkOf(Dir() / "dangling.txt"), "made.txt");

    fs::create_symlink("no such folder/x.txt", Dir() / "nowhere.txt");
    EXPECT_EQ(Save(PathOf("nowhere.txt")),
              "Unable to write file\rPath not found: " + PathOf("nowhere.txt"));
    EXPECT_EQ(LinkOf(Dir() / "nowhere.txt"), "no such folder/x.txt");
    EXPECT_EQ(ListingOf(Dir()), (V{"dangling.txt", "in.txt", "made.txt", "nowhere.txt"}));
}

TEST_F(SaveTarget, ALinkLoopIsRefused) {
    fs::create_symlink("loop.txt", Dir() / "loop.txt");
    EXPECT_EQ(Save(PathOf("loop.txt")),
              "Unable to write file\rToo many levels of symbolic links: " + PathOf("loop.txt"));
    EXPECT_EQ(LinkOf(Dir() / "loop.txt"), "loop.txt");
    EXPECT_EQ(ListingOf(Dir()), (V{"in.txt", "loop.txt"}));
}

TEST_F(SaveTarget, AFolderThroughALinkIsRefused) {
    fs::create_directory(Dir() / "folder.txt");
    fs::create_symlink("folder.txt", Dir() / "to-folder.txt");
    EXPECT_EQ(Save(PathOf("to-folder.txt")),
              "Unable to write file\rThis is a folder, not a file: " + PathOf("to-folder.txt"));
    EXPECT_TRUE(fs::is_symlink(Dir() / "to-folder.txt"));
    EXPECT_EQ(ListingOf(Dir() / "folder.txt"), V{});
}

TEST_F(SaveTarget, ADeviceIsRefusedAndKept) {
    fs::create_symlink("/dev/null", Dir() / "null.txt");
    EXPECT_EQ(Save(PathOf("null.txt")),
              "Unable to write file\rThis is a device, not a file: " + PathOf("null.txt"));
    EXPECT_EQ(LinkOf(Dir() / "null.txt"), "/dev/null");
    EXPECT_EQ(ListingOf(Dir()), (V{"in.txt", "null.txt"}));
}

TEST_F(SaveTarget, ASocketIsRefused) {
    const std::string path = PathOf("socket.txt");
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(Save(path), "Unable to write file\rThis is a socket, not a file: " + path);
    EXPECT_TRUE(fs::is_socket(test::PathFromUtf8(path)));
    EXPECT_EQ(ListingOf(Dir()), (V{"in.txt", "socket.txt"}));
    ::close(s);
}

TEST_F(SaveTarget, APipeWithAReaderIsRefusedAndGetsNothing) {
    const std::string path = PathOf("pipe.txt");
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    // A reader that never waits, so that a writer's open returns at once.
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Save(path), "Unable to write file\rThis is a pipe, not a file: " + path);
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(test::PathFromUtf8(path)));
    EXPECT_EQ(ListingOf(Dir()), (V{"in.txt", "pipe.txt"}));
}

TEST_F(SaveTarget, APipeWithNoReaderIsRefusedWithoutWaitingForOne) {
    const std::string path = PathOf("pipe.txt");
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    auto saved = std::async(std::launch::async, [&] { return Save(path); });
    // Opening the pipe for writing would wait for a reader for ever; the bound is only there
    // so that such a fault fails the test instead of hanging it.
    if (saved.wait_for(std::chrono::minutes(2)) == std::future_status::timeout) {
        ADD_FAILURE() << "the save waits on the pipe";
        const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);  // lets it go on
        saved.wait();
        ::close(reader);
    }
    EXPECT_EQ(saved.get(), "Unable to write file\rThis is a pipe, not a file: " + path);
    EXPECT_TRUE(fs::is_fifo(test::PathFromUtf8(path)));
    EXPECT_EQ(ListingOf(Dir()), (V{"in.txt", "pipe.txt"}));
}

#endif  // _WIN32

}  // namespace
}  // namespace ostrel
