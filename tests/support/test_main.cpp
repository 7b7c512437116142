#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "log/Tmr_LogFile.h"
#include "support/LogExpectations.h"

namespace vxrp_test {

std::vector<std::string> TakeLogTexts() {
    std::vector<std::string> texts = TmrGLog.Texts();
    TmrGLog.Clear();
    return texts;
}

}  // namespace vxrp_test

namespace {

// Fails a test during which a log line was written that the test did not take.
// The listener is appended after the default printer; end events reach
// listeners in reverse order, so the failure is recorded before the result is
// printed.
class UnexpectedLogListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& /*info*/) override { TmrGLog.Clear(); }

    void OnTestEnd(const testing::TestInfo& /*info*/) override {
        const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
        for (const Tmr_LogRecord& record : records) {
            ADD_FAILURE() << "unexpected log line from " << record.source << "(" << record.line
                          << ") level " << record.level << ": " << record.text;
        }
        TmrGLog.Clear();
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new UnexpectedLogListener);
    return RUN_ALL_TESTS();
}
