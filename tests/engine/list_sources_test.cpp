// What a list may be read from: only regular files, read to an end that matches the size they
// had when opened; and how the encoding is settled while reading, UTF-32 included.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/duplicate_engine.h"
#include "engine/failure.h"
#include "engine/files/file_system.h"
#include "engine/text/text_file.h"
#include "tests/engine/test_support.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ostrel {
namespace {

using V = std::vector<std::string>;
namespace fs = std::filesystem;

class ListSources : public test::ScratchDir {
  protected:
    void OpenPrevious() {
        ui.Clear();
        ui.Answer(File("previous.txt", "Previous\r\n"));
        engine.cmdOpen_Click();
        ASSERT_TRUE(ui.messages.empty());
        ui.Clear();
    }
    // The one message of a refused run, which keeps the previous result.
    std::string Refusal(const std::string& path) {
        ui.Clear();
        ui.Answer(path);
        engine.cmdOpen_Click();
        EXPECT_EQ(test::Rows(*engine.rsUnique()), V{"Previous"});
        if (ui.messages.size() != 1) return "<" + std::to_string(ui.messages.size()) + " messages>";
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
        return ui.messages[0].text;
    }
    std::string Save(const std::string& name) {
        ui.Clear();
        ui.Answer(PathOf(name));
        engine.cmdSave_Click();
        EXPECT_EQ(ui.messages.size(), 1u);
        return test::ReadBytes(Dir() / test::PathFromUtf8(name));
    }

    test::FakeUi ui;
    DuplicateEngine engine{ui};
};

#ifndef _WIN32
// A pipe, a device and a socket would block the open or never end: each is refused at once,
// by name, before anything is read from it.
TEST_F(ListSources, DevicesPipesAndSocketsAreRefusedBeforeAnythingIsRead) {
    OpenPrevious();
    const std::string fifo = PathOf("fifo.txt");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Refusal(fifo),
              "Unable to open description file \rThis is a pipe, not a file: " + fifo);

    const std::string zero = PathOf("zero.txt");  // an endless input behind a list's name
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    EXPECT_EQ(Refusal(zero),
              "Unable to open description file \rThis is a device, not a file: " + zero);

    const std::string socketPath = PathOf("s.txt");
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(Refusal(socketPath),
              "Unable to open description file \rThis is a socket, not a file: " + socketPath);
    close(s);
}

// Without a controlling terminal, /dev/tty refuses to open; it is still a device.
TEST(ListSource, TheTerminalWithoutATerminalIsADevice) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ends[0]);
        std::string said = "<opened>";
        if (setsid() < 0) said = "<no new session>";
        try {
            FileStamp stamp;
            if (said == "<opened>") std::fclose(OpenRegularFileForReading("/dev/tty", stamp));
        } catch (const RuntimeError& e) {
            said = e.Description();
        }
        _exit(write(ends[1], said.data(), said.size()) == static_cast<ssize_t>(said.size()) ? 0
                                                                                            : 1);
    }
    close(ends[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(n));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(said, "This is a device, not a file: /dev/tty");
}
#else
TEST_F(ListSources, DevicesAndPipesAreRefusedBeforeAnythingIsRead) {
    OpenPrevious();
    const std::string pipe = "\\\\.\\pipe\\ostrel.txt";
    EXPECT_EQ(Refusal(pipe),
              "Unable to open description file \rThis is a pipe, not a file: " + pipe);
    for (const std::string& path :
         {std::string("NUL.txt"), PathOf("con.txt"), PathOf("COM1.TXT")}) {
        EXPECT_EQ(Refusal(path),
                  "Unable to open description file \rThis name is reserved for a "
                  "device on Windows: " +
                      path);
    }
}
#endif

// The description of the failure that reading a list to its end ends in, after its first chunk
// and then the change given.
std::string ReadingFailure(const std::string& path, const std::function<void()>& change) {
    try {
        TextFileReader reader(path, Windows1252());
        std::string chunk;
        EXPECT_EQ(reader.ReadChunk(chunk, 1 << 16, 100), TextFileReader::Chunk::Lines);
        change();
        while (reader.ReadChunk(chunk, 1 << 16, 100) != TextFileReader::Chunk::End) {
        }
    } catch (const RuntimeError& e) {
        return e.Description();
    }
    return "no failure";
}

// A list that shrinks, grows or is rewritten at its size while it is read is refused: its
// counts would not be the file's.
TEST_F(ListSources, AFileThatChangesWhileItIsReadIsRefused) {
    std::string list;
    for (int i = 0; i < 200000; ++i) list += "phrase " + std::to_string(i) + "\r\n";
    std::string rewritten = list;
    rewritten.replace(rewritten.size() - 9, 6, "PHRASE");
    for (const std::string& now : {list.substr(0, 100000), list + "more\r\n", rewritten}) {
        const std::string path = File("list.txt", list);
        // An hour ago, so that a rewrite within the clock's tick still changes the time.
        const fs::path native = test::PathFromUtf8(path);
        fs::last_write_time(native, fs::last_write_time(native) - std::chrono::hours(1));
        EXPECT_EQ(ReadingFailure(path, [&] { test::WriteBytes(native, now); }),
                  "The file changed while it was read: " + path)
            << now.size() << " bytes now";
    }
}

#ifdef __linux__
// The system's files report a size they do not have; they are not taken for changed ones.
TEST_F(ListSources, AFileOfTheSystemIsNotCalledChanged) {
    const std::string path = "/proc/self/status";
    EXPECT_EQ(ReadingFailure(path, [] {}),
              "The file does not have the size the system gives for it, as with the files in "
              "/proc and /sys: " +
                  path);
}
#endif

// A mark says UTF-32; FF FE 00 00 is UTF-32 little-endian, not UTF-16 with a NUL. The result
// is written back in UTF-32 with its mark.
TEST_F(ListSources, Utf32ListsAreReadAndWrittenBackInUtf32) {
    using namespace std::string_literals;
    const std::string le = "\xFF\xFE\0\0"s + "b\0\0\0\r\0\0\0\n\0\0\0"s + "\x00\xF6\x01\0"s +
                           "\n\0\0\0"s + " \0\0\0B\0\0\0"s;
    ui.Answer(File("le.txt", le));
    engine.cmdOpen_Click();
    ASSERT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    EXPECT_EQ(test::Rows(*engine.rsUnique()), (V{"b", "\U0001F600"}));
    EXPECT_EQ(ui.actualCaption, "Actual Keyword Phrases : 3");
    EXPECT_EQ(Save("le-out.txt"), "\xFF\xFE\0\0"s + "b\0\0\0\r\0\0\0\n\0\0\0"s + "\x00\xF6\x01\0"s +
                                      "\r\0\0\0\n\0\0\0"s);

    const std::string be = "\0\0\xFE\xFF"s + "\0\0\0x\0\0\0\n"s;
    ui.Clear();
    ui.Answer(File("be.txt", be));
    engine.cmdOpen_Click();
    ASSERT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    EXPECT_EQ(test::Rows(*engine.rsUnique()), V{"x"});
    EXPECT_EQ(Save("be-out.txt"), "\0\0\xFE\xFF"s + "\0\0\0x\0\0\0\r\0\0\0\n"s);
}

TEST_F(ListSources, BrokenUtf32IsRefusedAfterTheLinesBeforeIt) {
    using namespace std::string_literals;
    OpenPrevious();
    const std::string path = File("odd.txt", "\xFF\xFE\0\0"s + "a\0\0\0\n\0\0\0b\0"s);
    EXPECT_EQ(Refusal(path),
              "Unable to open description file \rThe file ends in the middle of "
              "a UTF-32 character: " +
                  path);
    const std::string beyond = File("beyond.txt", "\0\0\xFE\xFF"s + "\0\x11\0\0"s);
    EXPECT_EQ(Refusal(beyond),
              "Unable to open description file \rThe file holds a value that "
              "is not a UTF-32 character at byte 4: " +
                  beyond);
}

// Without a mark the list is read as UTF-8 from the start; a byte that is not UTF-8 far into
// it starts the reading again in the code page, and the lines are counted once, on the bar too.
TEST_F(ListSources, AListThatIsNotUtf8AfterAllIsReadAgainInTheCodePage) {
    std::string list;
    for (int i = 0; i < 100000; ++i) list += "caf\xC3\xA9 " + std::to_string(i % 1000) + "\r\n";
    ui.Answer(File("list.txt", list + "caf\xE9\r\n"));
    engine.cmdOpen_Click();
    ASSERT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    EXPECT_EQ(engine.ResultEncoding(), TextEncoding::Ansi);
    EXPECT_EQ(ui.actualCaption, "Actual Keyword Phrases : 100001");
    EXPECT_EQ(ui.finalCaption, "Final Keyword Phrases : 1001");
    const V rows = test::Rows(*engine.rsUnique());
    EXPECT_EQ(rows.front(), "caf\u00C3\u00A9 0");  // the UTF-8 bytes, now as code-page text
    EXPECT_EQ(rows.back(), "café");
    // The bar goes one step a line, from 1 to 10000 and then from 11 to 10000 over and over:
    // after 100001 lines it stands at 11 + (100001 - 10001) % 9990 = 101, before the 10001 that
    // ends the run.
    ASSERT_GE(ui.progressValues.size(), 2u);
    EXPECT_EQ(ui.progressValues[ui.progressValues.size() - 2], 101.0f);
}

// Line 1 is too long only in the code page, line 15002 in any reading, and the byte that is not
// UTF-8 comes a chunk later: the reading as UTF-8 meets line 15002 first, and names it however
// the workers run.
TEST_F(ListSources, TheLineARefusalNamesDoesNotDependOnTheWorkers) {
    OpenPrevious();
    std::string list;
    for (int i = 0; i < 60; ++i) list += "\xC3\xA9";
    list += "\r\n";
    for (int i = 0; i < 15000; ++i) list += "kw " + std::to_string(i) + "\r\n";
    list += std::string(101, 'x') + "\r\n";
    while (list.size() < 200000) list += "filler phrase\r\n";
    const std::string path = File("list.txt", list + "caf\xE9\r\n");
    for (unsigned workers = 1; workers <= 4; ++workers) {
        engine.SetWorkerCount(workers);
        for (int run = 0; run < 3; ++run)
            EXPECT_EQ(Refusal(path), "Unable to open description file \rLine 15002 of " + path +
                                         " is longer than the limit of 100 characters for a "
                                         "keyword phrase.")
                << workers << " workers, run " << run;
    }
}

}  // namespace
}  // namespace ostrel
