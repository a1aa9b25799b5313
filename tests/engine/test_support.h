#pragma once
// Test helpers: a recording fake of the window's collaborators, a scratch folder per test, and
// byte-exact file access through std::filesystem (UTF-8 paths on every platform).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/collaborators.h"
#include "engine/failure.h"
#include "engine/order/collation.h"
#include "engine/table/working_table.h"

namespace ostrel::test {

namespace fs = std::filesystem;

inline std::string Utf8(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

inline fs::path PathFromUtf8(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

inline void WriteBytes(const fs::path& p, std::string_view bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << Utf8(p);
}

inline std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Code units as the bytes of a file, each width bytes (1, 2 or 4), little- or big-endian: the
// tests' one encoder. Which units stand for a character is the caller's to say, on purpose:
// a test may write what no encoder would, an unpaired surrogate or half a unit.
inline std::string CodeUnitBytes(std::u32string_view units, std::size_t width, bool bigEndian) {
    std::string out;
    for (const char32_t u : units)
        for (std::size_t k = 0; k < width; ++k)
            out.push_back(static_cast<char>((u >> (8 * (bigEndian ? width - 1 - k : k))) & 0xFF));
    return out;
}

// UTF-16 code units as little- or big-endian bytes.
inline std::string Utf16Bytes(std::u16string_view units, bool bigEndian) {
    return CodeUnitBytes(std::u32string(units.begin(), units.end()), 2, bigEndian);
}

// A fresh folder under the system's temporary folder, removed after the test.
class ScratchDir : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        // A parameterised test's name holds a slash ("Run/2workers"): one folder, not two.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir_ = fs::temp_directory_path() / ("ostrel_" + name + "_" + std::to_string(rd()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path Dir() const { return dir_; }
    std::string File(std::string_view name, std::string_view bytes) {
        const fs::path p = dir_ / PathFromUtf8(name);
        WriteBytes(p, bytes);
        return Utf8(p);
    }
    std::string PathOf(std::string_view name) const { return Utf8(dir_ / PathFromUtf8(name)); }
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.push_back(Utf8(e.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path dir_;
};

// Records every command the engine gives the window, in order; the dialog answers are scripted.
class FakeUi final : public Collaborators {
  public:
    struct Message {
        std::string text;
        MessageIcon icon;
        std::string title;
    };

    std::vector<std::string> log;
    std::deque<std::optional<std::string>> dialogAnswers;  // nullopt: the user cancels
    std::exception_ptr dialogFailure;  // thrown by the next dialog in place of its answer
    std::string fileName;
    float progress = 0;
    std::vector<float> progressValues;
    bool progressVisible = false;
    std::string actualCaption, finalCaption;
    std::vector<Message> messages;
    std::vector<std::pair<std::string, int>> started;
    std::vector<std::string> questions;
    std::deque<bool> replies;  // to the questions, in turn: true for Yes

    void Answer(std::string path) { dialogAnswers.emplace_back(std::move(path)); }
    void Cancel() { dialogAnswers.emplace_back(std::nullopt); }

    void ShowOpen() override { Dialog("ShowOpen"); }
    void ShowSave() override { Dialog("ShowSave"); }
    std::string FileName() override { return fileName; }

    float ProgressValue() override { return progress; }
    void SetProgressValue(float v) override {
        progress = v;
        progressValues.push_back(v);
        log.push_back("ProgressValue=" + Num(v));
    }
    void SetProgressMin(float v) override { log.push_back("ProgressMin=" + Num(v)); }
    void SetProgressMax(float v) override { log.push_back("ProgressMax=" + Num(v)); }
    void SetProgressVisible(bool v) override {
        progressVisible = v;
        log.push_back(std::string("ProgressVisible=") + (v ? "1" : "0"));
    }
    void SetActualRowCountCaption(std::string_view c) override {
        actualCaption = c;
        log.push_back("Actual=" + std::string(c));
    }
    void SetFinalRowCountCaption(std::string_view c) override {
        finalCaption = c;
        log.push_back("Final=" + std::string(c));
    }
    void SetSaveEnabled(bool e) override {
        log.push_back(std::string("SaveEnabled=") + (e ? "1" : "0"));
    }
    void SetSaveOpenEnabled(bool e) override {
        log.push_back(std::string("SaveOpenEnabled=") + (e ? "1" : "0"));
    }
    void DragWindow() override { log.push_back("DragWindow"); }
    void ShowMessage(std::string_view text, MessageIcon icon, std::string_view title) override {
        messages.push_back({std::string(text), icon, std::string(title)});
        log.push_back("Message");
    }
    bool AskYesNo(std::string_view text) override {
        questions.emplace_back(text);
        log.push_back("Question");
        if (replies.empty()) {
            ADD_FAILURE() << "asked more often than scripted: " << text;
            return false;
        }
        const bool yes = replies.front();
        replies.pop_front();
        return yes;
    }
    void StartProgram(std::string_view commandLine, int windowStyle) override {
        log.push_back("StartProgram");
        started.emplace_back(std::string(commandLine), windowStyle);
    }

    // The log without the per-line progress values.
    std::vector<std::string> Calls() const {
        std::vector<std::string> out;
        bool inRun = false;
        for (const auto& e : log) {
            if (e == "ProgressVisible=1") inRun = true;
            if (inRun && e.rfind("ProgressValue=", 0) == 0 && e != "ProgressValue=10001") continue;
            if (e == "ProgressValue=10001") inRun = false;
            out.push_back(e);
        }
        return out;
    }
    void Clear() {
        log.clear();
        messages.clear();
        progressValues.clear();
        started.clear();
        questions.clear();
    }

  private:
    static std::string Num(float v) {
        std::ostringstream s;
        s << v;
        return s.str();
    }
    void Dialog(const char* name) {
        log.push_back(name);
        if (dialogFailure) std::rethrow_exception(std::exchange(dialogFailure, nullptr));
        if (dialogAnswers.empty()) {
            ADD_FAILURE() << name << " shown more often than scripted";
            throw RuntimeError(32755, "Cancel");
        }
        std::optional<std::string> answer = dialogAnswers.front();
        dialogAnswers.pop_front();
        if (!answer) throw RuntimeError(32755, "Cancel was selected.");  // as the real dialog
        fileName = *answer;
    }
};

// The rows of a table as a walk from the first meets them.
inline std::vector<std::string> Rows(WorkingTable& t) {
    std::vector<std::string> rows;
    for (t.MoveFirst(); !t.Eof(); t.MoveNext()) rows.emplace_back(t.Fields(0).Value());
    return rows;
}

// A language of the tests' own, to drive the sort where the real ones rarely go: every key
// shares its first 30 bytes, is longer than 64, orders small letters backwards, and ignores
// digits, so that distinct phrases ("a1", "a2") are equal to it.
class FakeCollation final : public Collation {
  public:
    std::unique_ptr<CollationKeys> NewKeys() const override { return std::make_unique<Keys>(); }
    const std::string& LocaleName() const override { return name_; }

    static std::string KeyOf(std::string_view form) {
        std::string part;
        for (const char c : form) {
            if (c >= '0' && c <= '9') continue;
            part.push_back(c >= 'a' && c <= 'z' ? static_cast<char>('a' + 'z' - c) : c);
        }
        return std::string(30, '\x02') + part + "\x01" + part + part + part;
    }

  private:
    struct Keys final : CollationKeys {
        std::size_t KeyWords(std::string_view form, std::size_t depth, std::uint64_t* words,
                             std::size_t count) override {
            const std::string key = KeyOf(form);
            for (std::size_t i = 0; i < count; ++i) {
                words[i] = 0;
                for (std::size_t k = 0; k < 8; ++k) {
                    const std::size_t at = depth + 8 * i + k;
                    words[i] = (words[i] << 8) | (at < key.size() ? std::uint8_t(key[at]) : 0);
                }
            }
            return key.size();
        }
        void Key(std::string_view form, std::string& key) override { key = KeyOf(form); }
    };
    std::string name_ = "x-test";
};

}  // namespace ostrel::test
