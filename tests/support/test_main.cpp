#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "log/Tmr_LogFile.h"
#include "support/AllocationFailure.h"
#include "support/LogExpectations.h"

namespace {

// Nothrow allocations still allowed on this thread; negative: no limit.
thread_local int t_nNothrowBudget = -1;

bool nothrow_budget_spent() {
    if (t_nNothrowBudget == 0) {
        return true;
    }
    if (t_nNothrowBudget > 0) {
        --t_nNothrowBudget;
    }
    return false;
}

}  // namespace

// The replaceable nothrow allocation functions, forwarding to the ordinary ones
// so that allocation and release always pair up (see AllocationFailure.h).
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
    if (nothrow_budget_spent()) {
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
    if (nothrow_budget_spent()) {
        return nullptr;
    }
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* p, const std::nothrow_t& /*tag*/) noexcept {
    ::operator delete(p);
}

void operator delete[](void* p, const std::nothrow_t& /*tag*/) noexcept {
    ::operator delete[](p);
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
