#include "runtime/LinePrinter.h"

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include <poll.h>
#include <unistd.h>

namespace zq {

namespace {

// Far beyond what a whole flow prints, yet bounded whatever the reader does.
constexpr std::size_t kMaxQueuedBytes = 1 << 20;

// Never destroyed: the writer thread may still be blocked in a write while
// the process ends.
class Printer {
public:
    static Printer& instance()
    {
        static Printer* printer = [] {
            auto* p = new Printer();
            std::thread([p] { p->writeForever(); }).detach();
            std::atexit([] { instance().drainAtExit(); });
            return p;
        }();
        return *printer;
    }

    void add(const std::string& line)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            // After the drain at exit nothing writes the queue any more: a
            // late line is written at once.
            if (exiting) {
                writeAll(line + '\n');
                return;
            }
            if (queuedBytes + line.size() + 1 > kMaxQueuedBytes)
                return;
            queue.push_back(line + '\n');
            queuedBytes += line.size() + 1;
        }
        changed.notify_all();
    }

    void flush()
    {
        std::unique_lock<std::mutex> lock(mutex);
        drain(lock);
    }

    // The flow has ended and nothing is at risk any more: the reader gets
    // what is queued however slowly it takes it, as a blocking write would
    // give it; only a reader that went away loses it.
    void drainAtExit()
    {
        std::unique_lock<std::mutex> lock(mutex);
        drain(lock);
        exiting = true;
    }

private:
    void writeForever()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return !queue.empty(); });
            std::string text;
            for (const std::string& line : queue)
                text += line;
            queue.clear();
            queuedBytes = 0;
            writing = true;
            lock.unlock();
            writeAll(text);
            lock.lock();
            writing = false;
            changed.notify_all();
        }
    }

    void drain(std::unique_lock<std::mutex>& lock)
    {
        changed.wait(lock, [this] { return queue.empty() && !writing; });
    }

    static void writeAll(const std::string& text)
    {
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t n = ::write(STDOUT_FILENO, p, left);
            if (n > 0) {
                p += n;
                left -= static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // Someone made the descriptor non-blocking: wait as a blocking write would.
                pollfd out{STDOUT_FILENO, POLLOUT, 0};
                ::poll(&out, 1, -1);
            } else {
                return; // the reader is gone, or the descriptor is unusable: dropped
            }
        }
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> queue;
    std::size_t queuedBytes = 0;
    bool writing = false;
    bool exiting = false;
};

} // namespace

void LinePrinter::print(const std::string& line) { Printer::instance().add(line); }

void LinePrinter::flush() { Printer::instance().flush(); }

} // namespace zq
