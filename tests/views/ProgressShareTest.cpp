#include "ui/FirmwareUpdateProgressView.h"

#include "tests/views/ViewTest.h"

#include <atomic>
#include <thread>

namespace {

// A worker reads the fraction while the message thread keeps setting it: it
// sees only values that were set, never going backwards, and the last one.
TEST_F(ViewTest, ProgressIsReadableFromAnotherThread)
{
    FirmwareUpdateProgressView page;
    page.setSize(375, 627);
    std::atomic<bool> sawBackwards{false};

    std::thread reader([&] {
        double last = 0.0;
        for (;;) {
            const double now = page.progressNow();
            if (now < last)
                sawBackwards = true;
            last = now;
            if (now >= 1.0)
                return;
            std::this_thread::yield();
        }
    });

    for (int step = 1; step <= 200; ++step)
        page.setProgress(step / 200.0);
    reader.join();

    EXPECT_FALSE(sawBackwards);
    EXPECT_EQ(page.progressNow(), 1.0);
}

} // namespace
