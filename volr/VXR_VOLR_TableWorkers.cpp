// The helper threads of the colour table (see VXR_VOLR_TableWorkers.h).
#include "VXR_VOLR_TableWorkers.h"

#include <pthread.h>

#include <chrono>
#include <new>
#include <system_error>
#include <utility>

namespace vxr_volr_table {

namespace {

std::atomic<int> g_Threads{1};

// Set in a child process forked after helpers were started: the child has
// none of the parent's threads, and the helpers' lock may have been held by
// one of them at the fork, for good. Forks are watched from the moment the
// library is loaded, and g_Started is set before the first helper starts,
// so no fork slips between the two. (A fork in the middle of the first
// start leaves the child a lock that stays taken: Post, which only tries
// it, then lets it calculate alone.)
std::atomic<bool> g_Started{false};
std::atomic<bool> g_Forked{false};
void ChildAfterFork() {
    if (g_Started.load()) {
        g_Forked.store(true, std::memory_order_relaxed);
    }
}
const bool g_Watching = pthread_atfork(nullptr, nullptr, ChildAfterFork) == 0;

// How long a helper polls for the next job before it goes to sleep. Waking
// a sleeping thread takes tens of microseconds on some machines, as long
// as a 12-bit table, and while a window is dragged tables follow each other
// closely.
constexpr auto kPoll = std::chrono::microseconds(200);

// Polls changed() for up to kPoll; answers whether it came true.
template <typename Changed>
bool PollFor(Changed changed) {
    const auto until = std::chrono::steady_clock::now() + kPoll;
    for (;;) {
        for (int k = 0; k < 64; ++k) {
            if (changed()) {
                return true;
            }
            Pause();
        }
        if (std::chrono::steady_clock::now() >= until) {
            return changed();
        }
    }
}

}  // namespace

TableWorkers& TableWorkers::Instance() {
    static TableWorkers workers;
    return workers;
}

int TableWorkers::MaxThreads() {
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 1 : static_cast<int>(hardware);
}

void TableWorkers::SetThreads(int threads) {
    const int most = MaxThreads();
    g_Threads.store(threads < 1 ? 1 : (threads > most ? most : threads), std::memory_order_relaxed);
}

int TableWorkers::Threads() {
    return g_Threads.load(std::memory_order_relaxed);
}

bool TableWorkers::start(int helpers) {
    // Without a watch on forks, a forked child could wait for helpers it
    // does not have: then there are none.
    if (!g_Watching) {
        return false;
    }
    g_Started.store(true);
    try {
        m_Helpers.reserve(static_cast<std::size_t>(helpers));
        while (static_cast<int>(m_Helpers.size()) < helpers) {
            const int index = static_cast<int>(m_Helpers.size()) + 1;
            // The helper waits for the generation after this one: it may
            // first run after the job it is started for has been posted.
            const unsigned current = m_Generation.load(std::memory_order_relaxed);
            m_Helpers.emplace_back([this, index, current] { helper(index, current); });
        }
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    return !m_Helpers.empty();
}

int TableWorkers::Post(std::shared_ptr<Job> job, int helpers) {
    if (helpers < 1 || g_Forked.load(std::memory_order_relaxed)) {
        return 0;
    }
    int asked = 0;
    {
        // A helper holding the lock may have lost its processor: the table
        // is then computed alone rather than waiting for it.
        const std::unique_lock<std::mutex> lock(m_Lock, std::try_to_lock);
        if (!lock.owns_lock() || m_Stop) {
            return 0;
        }
        if (static_cast<int>(m_Helpers.size()) < helpers && !start(helpers)) {
            return 0;
        }
        const int started = static_cast<int>(m_Helpers.size());
        asked = started < helpers ? started : helpers;
        m_Asked = asked;
        m_Posted.swap(job);  // the job posted before is released outside the lock
        m_Generation.fetch_add(1, std::memory_order_release);
    }
    m_Generation.notify_all();
    return asked;
}

void TableWorkers::Withdraw(const Job* job) {
    std::shared_ptr<Job> dropped;  // released outside the lock
    // A helper holding the lock may have lost its processor: then the job
    // stays posted, and a helper that takes it finds nothing left to do.
    const std::unique_lock<std::mutex> lock(m_Lock, std::try_to_lock);
    if (lock.owns_lock() && m_Posted.get() == job) {
        dropped = std::move(m_Posted);
    }
}

void TableWorkers::helper(int index, unsigned seen) {
    std::unique_ptr<Job::Scratch> scratch;
    bool poll = false;  // the last job was worth being awake for
    for (;;) {
        if (!(poll && PollFor([this, seen] {
                  return m_Generation.load(std::memory_order_acquire) != seen;
              }))) {
            m_Generation.wait(seen, std::memory_order_acquire);
        }
        std::shared_ptr<Job> job;
        {
            const std::lock_guard<std::mutex> lock(m_Lock);
            seen = m_Generation.load(std::memory_order_acquire);
            if (m_Stop) {
                return;
            }
            if (index <= m_Asked) {
                job = m_Posted;
            }
        }
        poll = job != nullptr && job->Help(scratch);
    }
}

TableWorkers::~TableWorkers() {
    if (g_Forked.load(std::memory_order_relaxed)) {
        // The helpers ran in the parent; here there is nothing to stop, and
        // the lock may have been taken by a parent's thread for good.
        for (std::thread& thread : m_Helpers) {
            thread.detach();
        }
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(m_Lock);
        m_Stop = true;
        m_Posted.reset();
        m_Generation.fetch_add(1, std::memory_order_release);
    }
    m_Generation.notify_all();
    for (std::thread& thread : m_Helpers) {
        thread.join();
    }
}

}  // namespace vxr_volr_table
