#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "log/Tmr_LogFile.h"
#include "support/AllocationFailure.h"
#include "support/LogExpectations.h"

namespace {

// Nothrow allocations still allowed on this thread; negative: no limit.
thread_local int t_nNothrowBudget = -1;
// Allocations of any form still allowed on this thread; negative: no limit.
thread_local int t_nBudget = -1;
// Allocations refused on this thread so far.
thread_local int t_nRefusals = 0;

bool budget_spent(int& budget) {
    if (budget == 0) {
        ++t_nRefusals;
        return true;
    }
    if (budget > 0) {
        --budget;
    }
    return false;
}

// The allocation itself: malloc, so that the sanitizer still sees every
// allocation and its release (operator delete below frees).
void* allocate(std::size_t size) {
    if (budget_spent(t_nBudget)) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* allocate_or_raise(std::size_t size) {
    void* p = allocate(size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

void* allocate_nothrow(std::size_t size) noexcept {
    if (budget_spent(t_nNothrowBudget)) {
        return nullptr;
    }
    return allocate(size);
}

}  // namespace

// The replaceable allocation functions, so that tests can fail allocations on
// purpose (see AllocationFailure.h). The aligned forms keep their defaults.
void* operator new(std::size_t size) {
    return allocate_or_raise(size);
}

void* operator new[](std::size_t size) {
    return allocate_or_raise(size);
}

void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
    return allocate_nothrow(size);
}

void* operator new[](std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
    return allocate_nothrow(size);
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t /*size*/) noexcept {
    std::free(p);
}

void operator delete[](void* p, std::size_t /*size*/) noexcept {
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t& /*tag*/) noexcept {
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t& /*tag*/) noexcept {
    std::free(p);
}

namespace vxrp_test {

std::vector<std::string> TakeLogTexts() {
    std::vector<std::string> texts = TmrGLog.Texts();
    TmrGLog.Clear();
    return texts;
}

NothrowNewFailure::NothrowNewFailure(int succeeding) : m_nSaved(t_nNothrowBudget) {
    t_nNothrowBudget = succeeding < 0 ? 0 : succeeding;
}

NothrowNewFailure::~NothrowNewFailure() {
    t_nNothrowBudget = m_nSaved;
}

AllocationFailure::AllocationFailure(int succeeding)
    : m_nSaved(t_nBudget), m_nSavedRefusals(t_nRefusals) {
    t_nRefusals = 0;
    t_nBudget = succeeding < 0 ? 0 : succeeding;
}

AllocationFailure::~AllocationFailure() {
    t_nBudget = m_nSaved;
    t_nRefusals += m_nSavedRefusals;
}

bool AllocationFailure::Refused() const {
    return t_nRefusals > 0;
}

}  // namespace vxrp_test

namespace {

// Fails a test during which a log line was written that the test did not take.
// The listener is appended after the default printer; end events reach
// listeners in reverse order, so the failure is recorded before the result is
// printed.
//
// Every test starts with all levels wanted. A test that lowers the maximum level
// and does not restore it fails too: the tests after it would otherwise turn
// lines down unseen and pass whatever they logged.
class UnexpectedLogListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& /*info*/) override {
        TmrGLog.SetMaxLevel(kAllLevels);
        TmrGLog.Clear();
    }

    void OnTestEnd(const testing::TestInfo& /*info*/) override {
        const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
        for (const Tmr_LogRecord& record : records) {
            ADD_FAILURE() << "unexpected log line from " << record.source << "(" << record.line
                          << ") level " << record.level << ": " << record.text;
        }
        TmrGLog.Clear();
        if (TmrGLog.GetMaxLevel() != kAllLevels) {
            ADD_FAILURE() << "the test left the log's maximum level at " << TmrGLog.GetMaxLevel();
            TmrGLog.SetMaxLevel(kAllLevels);
        }
    }

    static constexpr int kAllLevels = INT_MAX;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new UnexpectedLogListener);
    return RUN_ALL_TESTS();
}
