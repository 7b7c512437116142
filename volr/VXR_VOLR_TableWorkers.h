#pragma once

// Internal to the colour table: the helper threads that may share the
// calculation of a table with the thread that asks for it. Nothing here is
// part of the library's interface.
//
// The library starts no thread unless the host asks for more than one with
// VXR_VOLR_ColorProtocol::SetTableThreads; the helpers are then started on
// the first table that uses them and stay until the library is unloaded.
// Between tables they poll for the next one for 0.2 ms, then sleep; the
// thread that asked for a table polls likewise for the helpers' last
// blocks. One table at a time uses them: a table asked for while another is
// being calculated with helpers is calculated on its own thread alone.
//
// Which thread computes which part of a table changes no bit of it: every
// part is computed by the same code from the same inputs, and the parts do
// not overlap.

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// Everything here stays inside the library.
#define VXR_VOLR_TABLE_HIDDEN __attribute__((visibility("hidden")))

namespace vxr_volr_table VXR_VOLR_TABLE_HIDDEN {

class TableWorkers {
  public:
    // The process's helpers.
    static TableWorkers& Instance();

    // The number of threads a table may use, the caller's included: 1 to
    // MaxThreads(); the default is 1.
    static void SetThreads(int threads);
    static int Threads();
    // std::thread::hardware_concurrency(), at least 1.
    static int MaxThreads();

    // Calls job(context, index) once for every index in 0..threads-1, index
    // 0 on the calling thread and the others on helpers (fewer when fewer
    // could be started), and returns when all have returned. Answers false,
    // having called nothing, when the helpers are busy with another table or
    // none can be started; the caller then does the work alone. A job must
    // not raise.
    using Job = void (*)(void* context, int index) noexcept;
    bool Run(int threads, Job job, void* context);

    // Called in a child process right after a fork: the child has no
    // helpers, and calculates every table alone.
    void AfterForkInChild();

    TableWorkers(const TableWorkers&) = delete;
    TableWorkers& operator=(const TableWorkers&) = delete;
    ~TableWorkers();

  private:
    TableWorkers() = default;
    bool start(int helpers);  // under m_Busy
    void helper(int index, unsigned seen);

    std::mutex m_Busy;  // held by the table that uses the helpers
    std::vector<std::thread> m_Helpers;
    std::atomic<unsigned> m_Generation{0};  // advanced once per job, and to stop
    std::atomic<int> m_Pending{0};          // helpers that have not answered the job
    bool m_Stop = false;
    bool m_Forked = false;  // this is a child forked after the helpers started
    Job m_Job = nullptr;
    void* m_Context = nullptr;
    int m_Active = 0;  // helpers taking part in the current job
};

}  // namespace VXR_VOLR_TABLE_HIDDEN
