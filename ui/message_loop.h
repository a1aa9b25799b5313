#pragma once
// The event loop: one message at a time, each form's keyboard handling first.
#include <windows.h>

namespace ostrel::ui {

class Form;

// Dispatches until the program ends; returns its exit code.
int RunMessageLoop();
// Hands one message to its form's keyboard handling, then to its window.
void Dispatch(const MSG& message);
// Creates the form, raises Load and shows it centred, without running the loop.
void StartForm(Form& form);
// Start-up: creates the form, raises Load, shows it centred and runs the loop until it ends.
int RunStartupForm(Form& form);

}  // namespace ostrel::ui
