#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "log/Tmr_LogFile.h"

namespace vxrp_test {

// The lines logged since the test started (or the last take), with their
// levels, oldest first; like TakeLogTexts they no longer count as unexpected.
// Every line must come from source at module 460.
inline std::vector<std::pair<int, std::string>> TakeLogLines(const std::string& source) {
    std::vector<std::pair<int, std::string>> lines;
    for (const Tmr_LogRecord& record : TmrGLog.Records()) {
        if (record.source != source || record.module != 460) {
            lines.emplace_back(-1, "from " + record.source + ": " + record.text);
        } else {
            lines.emplace_back(record.level, record.text);
        }
    }
    TmrGLog.Clear();
    return lines;
}

using LogLines = std::vector<std::pair<int, std::string>>;

// Declared first in a test body, so that it goes last: takes the lines that
// projection objects write when they are destroyed (their Clear(true)), which
// the tests of Clear assert exactly, and fails the test on any other line left.
class ClearLinesAtEnd {
  public:
    ClearLinesAtEnd() = default;
    ClearLinesAtEnd(const ClearLinesAtEnd&) = delete;
    ClearLinesAtEnd& operator=(const ClearLinesAtEnd&) = delete;
    ~ClearLinesAtEnd() {
        static const std::regex kClearLine(
            "(org )?delete (mvoldata|fast_mvoldata|m_MVolRTisInd|m_ColorTables) \\S+\n|"
            "Clear !m_bOriginalCopy with_delete = 1\n|\\S+ Clear\n|"
            "\\S+ VXR_MIP_ProjectParams::Clear private_tpict reset \\S+\n|"
            "Clear, private_tpict, this = .*\n|\\S+ !m_bOriginalCopy, private_tpict\n|"
            "Clear: ClearTPict\n|ClearTPict, this = .*\n|\\S+ ClearTPict \\S+ = NULL\n|"
            "ResetBoxParams, source, .*\n|\\S+ ResetBoxParams of source \\S+ = NULL\n");
        for (const Tmr_LogRecord& record : TmrGLog.Records()) {
            if (!std::regex_match(record.text, kClearLine)) {
                ADD_FAILURE() << "unexpected log line from " << record.source << ": " << record.text;
            }
        }
        TmrGLog.Clear();
    }
};

}  // namespace vxrp_test
