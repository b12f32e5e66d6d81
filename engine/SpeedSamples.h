#pragma once

#include "support/LimitedStack.h"

#include <cstdint>
#include <memory>
#include <mutex>

namespace tolvenka {

// The bytes received per timer tick over the last seconds of a transfer. The
// stack exists only while a download runs: the worker thread opens and closes
// it around the run while the GUI thread's timer pushes samples and the panels
// read them, so one small mutex keeps the GUI thread off a freed stack.
class SpeedSamples {
public:
    struct Summary {
        std::int64_t sum = 0;
        std::int32_t count = 0;
    };

    // Closes the samples when a run ends, however it ends.
    class Window {
    public:
        explicit Window(SpeedSamples& samples)
            : samples(samples) {}
        ~Window() { samples.close(); }
        Window(const Window&) = delete;
        Window& operator=(const Window&) = delete;

    private:
        SpeedSamples& samples;
    };

    // Creates the stack; throws the stack's out-of-memory exception.
    [[nodiscard]] Window open(std::int32_t capacity);
    void close();

    // Do nothing while closed.
    void push(int sample);
    void clear();

    Summary summary() const;

private:
    mutable std::mutex mutex;
    std::unique_ptr<kestrune::containers::LimitedStack<int>> stack;
};

} // namespace tolvenka
