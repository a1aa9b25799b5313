#pragma once
// Starting another program from a command line: no shell, no wait.
#include <string>

namespace ostrel::ui {

class Launcher {
  public:
    virtual ~Launcher() = default;
    // Throws RuntimeError with the system's reason when the program cannot be started.
    virtual void Start(const std::wstring& commandLine, int showWindow) = 0;
};

class ProcessLauncher final : public Launcher {
  public:
    void Start(const std::wstring& commandLine, int showWindow) override;
};

}  // namespace ostrel::ui
