// The helper threads of the colour table (see VXR_VOLR_TableWorkers.h).
#include "VXR_VOLR_TableWorkers.h"

#include <pthread.h>

#include <chrono>
#include <new>
#include <system_error>

namespace vxr_volr_table {

namespace {

std::atomic<int> g_Threads{1};

void ChildAfterFork() {
    TableWorkers::Instance().AfterForkInChild();
}

// Polls changed() for up to kSpin before its thread goes to sleep. Waking a
// sleeping thread takes tens of microseconds on some machines, as long as a
// 12-bit table, and while a window is dragged tables follow each other
// closely; a short poll keeps both sides of a table awake for the next.
// Answers whether changed() came true.
constexpr auto kSpin = std::chrono::microseconds(200);

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

template <typename Changed>
bool SpinFor(Changed changed) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
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

void TableWorkers::AfterForkInChild() {
    m_Forked = true;
}

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
    // A child forked from this process has none of its threads: it must
    // neither wait for the helpers nor join them.
    static const bool watching = pthread_atfork(nullptr, nullptr, ChildAfterFork) == 0;
    if (!watching) {
        return false;
    }
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

bool TableWorkers::Run(int threads, Job job, void* context) {
    std::unique_lock<std::mutex> busy(m_Busy, std::try_to_lock);
    if (!busy.owns_lock() || threads < 2 || m_Stop || m_Forked) {
        return false;
    }
    if (static_cast<int>(m_Helpers.size()) < threads - 1 && !start(threads - 1)) {
        return false;
    }
    const int started = static_cast<int>(m_Helpers.size());
    m_Job = job;
    m_Context = context;
    m_Active = started < threads - 1 ? started : threads - 1;
    // Every helper answers every job, those beyond the job's count without
    // working: none of them can still be reading this job's fields when the
    // next one is set up.
    m_Pending.store(started, std::memory_order_relaxed);
    m_Generation.fetch_add(1, std::memory_order_release);
    m_Generation.notify_all();

    job(context, 0);
    SpinFor([this] { return m_Pending.load(std::memory_order_acquire) == 0; });
    for (int pending = m_Pending.load(std::memory_order_acquire); pending != 0;
         pending = m_Pending.load(std::memory_order_acquire)) {
        m_Pending.wait(pending, std::memory_order_acquire);
    }
    return true;
}

void TableWorkers::helper(int index, unsigned seen) {
    for (;;) {
        if (!SpinFor(
                [this, seen] { return m_Generation.load(std::memory_order_acquire) != seen; })) {
            m_Generation.wait(seen, std::memory_order_acquire);
        }
        seen = m_Generation.load(std::memory_order_acquire);
        if (m_Stop) {
            return;
        }
        if (index <= m_Active) {
            m_Job(m_Context, index);
        }
        if (m_Pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            m_Pending.notify_all();
        }
    }
}

TableWorkers::~TableWorkers() {
    if (m_Forked) {
        // The helpers ran in the parent; here there is nothing to stop, and
        // the lock may have been taken by a parent's thread for good.
        for (std::thread& thread : m_Helpers) {
            thread.detach();
        }
        return;
    }
    {
        const std::lock_guard<std::mutex> busy(m_Busy);
        m_Stop = true;
        m_Generation.fetch_add(1, std::memory_order_release);
        m_Generation.notify_all();
    }
    for (std::thread& thread : m_Helpers) {
        thread.join();
    }
}

}  // namespace vxr_volr_table
