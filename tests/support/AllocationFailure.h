#pragma once

#include <new>

// Makes `new (std::nothrow)` run out of memory on purpose, so that tests can
// check the null answers of Clone, Interpolate and the tree factory.
//
// While a NothrowNewFailure lives, the nothrow forms of operator new and
// operator new[] on the calling thread succeed `succeeding` more times and
// then answer null, every time, until it is destroyed. Throwing `new` is not
// affected. The test program replaces the two nothrow operators for this; they
// forward to the ordinary operator new, so the sanitizer still sees every
// allocation and its release.
namespace vxrp_test {

class NothrowNewFailure {
  public:
    explicit NothrowNewFailure(int succeeding = 0);
    ~NothrowNewFailure();
    NothrowNewFailure(const NothrowNewFailure&) = delete;
    NothrowNewFailure& operator=(const NothrowNewFailure&) = delete;

  private:
    int m_nSaved;
};

// While an AllocationFailure lives, every allocation through operator new on
// the calling thread (throwing and nothrow, single and array; the aligned
// forms excepted) succeeds `succeeding` more times and then fails, every time,
// until it is destroyed: the throwing forms raise std::bad_alloc, the nothrow
// forms answer null. Refused() tells whether any allocation was refused.
class AllocationFailure {
  public:
    explicit AllocationFailure(int succeeding);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;

    bool Refused() const;

  private:
    int m_nSaved;
    int m_nSavedRefusals;
};

// Fails each allocation of attempt in turn: runs attempt() with the first
// allocation failing, then the second, and so on, until a run refuses none.
// After every run, outside the failure, check(raised) is called, raised
// telling whether that run raised std::bad_alloc. Answers the number of runs
// in which an allocation failed.
template <class Attempt, class Check>
int FailEachAllocation(Attempt attempt, Check check) {
    for (int succeeding = 0;; ++succeeding) {
        bool raised = false;
        bool refused = false;
        {
            const AllocationFailure failing(succeeding);
            try {
                attempt();
            } catch (const std::bad_alloc&) {
                raised = true;
            }
            refused = failing.Refused();
        }
        check(raised);
        if (!refused) {
            return succeeding;
        }
    }
}

}  // namespace vxrp_test
