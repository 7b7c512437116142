#pragma once

// Internal to the colour table: the helper threads that may share the
// calculation of a table with the thread that asks for it. Nothing here is
// part of the library's interface.
//
// The library starts no thread unless the host asks for more than one with
// VXR_VOLR_ColorProtocol::SetTableThreads; the helpers are then started on
// the first table that uses them and stay until the process exits or the
// library is unloaded. After a job, a helper polls for the next one for
// 0.2 ms, then sleeps; one that was too slow for its work to count sleeps
// at once.
//
// The thread that posts a job does not wait for a helper to return, nor
// for one that has stopped making progress: it does whatever part of the
// job no helper is seen finishing (see VXR_VOLR_ColorTable.cpp). A job is
// therefore shared: a helper may still be working on it after its poster
// has returned, and holds it until it is done with it. Posting only tries
// the helpers' lock: a helper may have lost its processor while holding it.
//
// Which thread computes which part of a table changes no bit of it: every
// part is computed by the same code from the same inputs. A part may be
// computed twice (by a helper that was too slow and by the poster), but
// only one copy reaches the table.

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Everything here stays inside the library.
#define VXR_VOLR_TABLE_HIDDEN __attribute__((visibility("hidden")))

namespace vxr_volr_table VXR_VOLR_TABLE_HIDDEN {

// One step of a busy wait: tells the processor that the thread is polling.
inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

class TableWorkers {
  public:
    // Work that helpers may take part in. Help is called on a helper thread,
    // possibly after the poster has stopped waiting for the job, so it must
    // touch nothing the job does not own or keep alive; it must not raise.
    // It answers false when the helper was too slow for its work to count
    // (the poster did it meanwhile, as on a busy machine): the helper then
    // sleeps at once after the job instead of polling for the next.
    class Job {
      public:
        // What a helper keeps from one job to the next (a job's working
        // memory), owned by the helper: helpers keep nothing in
        // thread_local storage, whose destructors would hold up the
        // library's unloading.
        class Scratch {
          public:
            Scratch() = default;
            Scratch(const Scratch&) = delete;
            Scratch& operator=(const Scratch&) = delete;
            virtual ~Scratch() = default;
        };

        Job() = default;
        Job(const Job&) = delete;
        Job& operator=(const Job&) = delete;
        virtual ~Job() = default;
        virtual bool Help(std::unique_ptr<Scratch>& scratch) noexcept = 0;
    };

    // The process's helpers.
    static TableWorkers& Instance();

    // The number of threads a table may use, the caller's included: 1 to
    // MaxThreads(); the default is 1.
    static void SetThreads(int threads);
    static int Threads();
    // std::thread::hardware_concurrency(), at least 1.
    static int MaxThreads();

    // Makes job the one that up to helpers helper threads (started on first
    // use) take part in, and returns at once. Answers how many were asked:
    // 0 when none could be started, or in a child forked after they were.
    // Helpers still busy with an earlier job come to this one when they are
    // done, if it is still posted: one job is posted at a time, the latest.
    int Post(std::shared_ptr<Job> job, int helpers);
    // Takes job back if it is still posted, so that no helper starts on it
    // (unless a helper holds the lock just then: a job whose work is done
    // gives a helper nothing to do).
    void Withdraw(const Job* job);

    TableWorkers(const TableWorkers&) = delete;
    TableWorkers& operator=(const TableWorkers&) = delete;
    ~TableWorkers();

  private:
    TableWorkers() = default;
    bool start(int helpers);  // under m_Lock
    void helper(int index, unsigned seen);

    // Guards the helpers, the posted job, m_Asked and m_Stop.
    std::mutex m_Lock;
    std::vector<std::thread> m_Helpers;
    std::shared_ptr<Job> m_Posted;
    int m_Asked = 0;                        // helpers 1..m_Asked take part in m_Posted
    std::atomic<unsigned> m_Generation{0};  // advanced once per post, and to stop
    bool m_Stop = false;
};

}  // namespace VXR_VOLR_TABLE_HIDDEN
