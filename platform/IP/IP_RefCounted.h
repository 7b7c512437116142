#pragma once

#include <atomic>

// IP_RefCounted - shared ownership for the volume-rendering data that a view's
// parameter objects hand between a live object and its rendering copies.
//
// Prepared volume data, tissue indexes, tissue lists and colour-table arrays are
// referred to by several holders at once (a source object, its copy, the copy's
// successor), and the holders let go in whatever order the host destroys them.
// Each holder therefore owns one reference: an object starts with a count of 1
// (its creator's), AddRef adds a holder, Release drops one and deletes the
// object when the last holder has gone. "Deleting" such an object in a holder
// means releasing that holder's reference; it is freed exactly once, by the last.
//
// Counting is atomic, so holders on different threads may add and drop
// references concurrently; the object's other state is not guarded by it.
//
// Shared objects are made with new. An object that nobody shares (for example a
// tissue list built on the stack and passed by reference) may live on the stack
// or be deleted directly, as long as nobody took a reference to it.
class IP_RefCounted {
  public:
    IP_RefCounted(const IP_RefCounted&) = delete;
    IP_RefCounted& operator=(const IP_RefCounted&) = delete;
    virtual ~IP_RefCounted() { s_nLive.fetch_sub(1, std::memory_order_relaxed); }

    // Answers the new count.
    long AddRef() noexcept { return m_nRefs.fetch_add(1, std::memory_order_relaxed) + 1; }
    // Answers the remaining count; deletes the object at 0.
    long Release() noexcept {
        const long left = m_nRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    long GetRefCount() const noexcept { return m_nRefs.load(std::memory_order_acquire); }

    // How many counted objects exist in the process (a leak check for tests and
    // tools).
    static long GetLiveCount() noexcept { return s_nLive.load(std::memory_order_relaxed); }

  protected:
    IP_RefCounted() noexcept { s_nLive.fetch_add(1, std::memory_order_relaxed); }

  private:
    std::atomic<long> m_nRefs{1};
    static inline std::atomic<long> s_nLive{0};
};

// slot = value, taking a reference to value first and then releasing the one slot
// held, so that assigning an object to the slot that already holds it is safe.
template <class T>
void IP_AssignRef(T*& slot, T* value) noexcept {
    if (value != nullptr) {
        value->AddRef();
    }
    T* old = slot;
    slot = value;
    if (old != nullptr) {
        old->Release();
    }
}
