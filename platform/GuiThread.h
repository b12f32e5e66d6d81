#pragma once

#include <functional>

// Every hop of work onto the GUI thread goes through these two calls, so a
// crossing is named where it happens: `synchronize` blocks, `post` does not.
// The GUI thread is the thread of the application object; it must be running
// its event loop (or processing events) for work from other threads to run.
namespace platform {

// Runs `fn` on the GUI thread and waits for it to finish. Called on the GUI
// thread it runs `fn` at once. An exception thrown by `fn` is rethrown to the
// caller.
void synchronize(const std::function<void()>& fn);

// Hands `fn` to the GUI thread and returns at once.
void post(std::function<void()> fn);

bool isGuiThread();

} // namespace platform
