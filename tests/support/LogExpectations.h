#pragma once

#include <string>
#include <vector>

// Every test runs under a listener that fails the test when a log line was
// written that the test did not take. A test that expects lines takes them with
// TakeLogTexts() and asserts them exactly:
//
//     EXPECT_EQ(vxrp_test::TakeLogTexts(), (std::vector<std::string>{"freeze vol data  \n"}));
namespace vxrp_test {

// The texts logged since the test started (or since the last call), oldest
// first; they no longer count as unexpected.
std::vector<std::string> TakeLogTexts();

}  // namespace vxrp_test
