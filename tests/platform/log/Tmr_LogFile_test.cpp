#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/Tmr_LogFile.h"
#include "support/AllocationFailure.h"
#include "support/LogExpectations.h"

namespace {

// Restores the log's maximum level when a test ends, also on failure.
class MaxLevelGuard {
  public:
    explicit MaxLevelGuard(int level) : m_nSaved(TmrGLog.GetMaxLevel()) {
        TmrGLog.SetMaxLevel(level);
    }
    ~MaxLevelGuard() { TmrGLog.SetMaxLevel(m_nSaved); }
    MaxLevelGuard(const MaxLevelGuard&) = delete;
    MaxLevelGuard& operator=(const MaxLevelGuard&) = delete;

  private:
    int m_nSaved;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(Tmr_LogFile, ARecordHoldsSourceLineLevelModuleAndFormattedText) {
    const int line = __LINE__ + 1;
    TMR_LOG("VXR_VOLR_ColorClass", 3, "Failed to get class %d of %s\n", 2, "BONE");
    const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].source, "VXR_VOLR_ColorClass");
    EXPECT_EQ(records[0].line, line);
    EXPECT_EQ(records[0].level, 3);
    EXPECT_EQ(records[0].module, 460);
    EXPECT_EQ(records[0].text, "Failed to get class 2 of BONE\n");
    EXPECT_EQ(vxrp_test::TakeLogTexts(),
              (std::vector<std::string>{"Failed to get class 2 of BONE\n"}));
    EXPECT_TRUE(TmrGLog.Records().empty());
}

TEST(Tmr_LogFile, LogWithoutStoreParamsHasNoSourceAndParamsAreUsedOnce) {
    ASSERT_NE(TmrGLog.StoreParams("VXR_ClipPlane", 12, 7, 460, 1), 0);
    Tmr_LogFile::Log("first\n");
    Tmr_LogFile::Log("second\n");
    const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].source, "VXR_ClipPlane");
    EXPECT_EQ(records[0].line, 12);
    EXPECT_EQ(records[1].source, "");
    EXPECT_EQ(records[1].line, 0);
    EXPECT_EQ(records[1].level, 0);
    EXPECT_EQ(vxrp_test::TakeLogTexts(), (std::vector<std::string>{"first\n", "second\n"}));
}

TEST(Tmr_LogFile, LinesAboveTheMaximumLevelAreTurnedDown) {
    MaxLevelGuard guard(5);
    EXPECT_EQ(TmrGLog.StoreParams("VXR_Trace", 1, 7, 460, 1), 0);
    Tmr_LogFile::Log("not wanted %d\n", 7);  // even when called anyway
    TMR_LOG("VXR_Trace", 6, "not wanted either\n");
    EXPECT_TRUE(TmrGLog.Records().empty());
    EXPECT_NE(TmrGLog.StoreParams("VXR_Trace", 2, 5, 460, 1), 0);
    Tmr_LogFile::Log("picture buffer\n");
    TMR_LOG("VXR_Trace", 3, "failure\n");
    EXPECT_EQ(vxrp_test::TakeLogTexts(),
              (std::vector<std::string>{"picture buffer\n", "failure\n"}));
}

TEST(Tmr_LogFile, TheBufferKeepsTheNewestRecordsAndCountsTheDropped) {
    const std::size_t extra = 5;
    for (std::size_t i = 0; i < Tmr_LogFile::kCapacity + extra; ++i) {
        TMR_LOG("VXR_Flood", 7, "line %zu\n", i);
    }
    EXPECT_EQ(TmrGLog.DroppedCount(), extra);
    const std::vector<std::string> texts = vxrp_test::TakeLogTexts();
    ASSERT_EQ(texts.size(), Tmr_LogFile::kCapacity);
    EXPECT_EQ(texts.front(), "line 5\n");
    EXPECT_EQ(texts.back(), "line " + std::to_string(Tmr_LogFile::kCapacity + extra - 1) + "\n");
    EXPECT_EQ(TmrGLog.DroppedCount(), 0u);  // taking the lines clears the count
}

// Out of memory at each allocation of a log line in turn: the line is stored
// whole or dropped and counted, and nothing is raised to the caller, whose own
// error may be the want of memory.
TEST(Tmr_LogFile, ALineWithoutMemoryIsDroppedAndCountedNeverRaised) {
    vxrp_test::TakeLogTexts();
    int dropped = 0;
    const int failures = vxrp_test::FailEachAllocation(
        [] { TMR_LOG("VXR_VOLR_SourceOfALongName", 3, "no memory for %d entries\n", 1024); },
        [&](bool raised) {
            EXPECT_FALSE(raised);
            const std::size_t lost = TmrGLog.DroppedCount();
            const std::vector<std::string> texts = vxrp_test::TakeLogTexts();
            EXPECT_EQ(texts.size() + lost, 1u);
            if (texts.size() == 1) {
                EXPECT_EQ(texts.front(), "no memory for 1024 entries\n");
            }
            dropped += static_cast<int>(lost);
        });
    EXPECT_GE(failures, 2);  // the source and the text, both too long to be kept inline
    EXPECT_EQ(dropped, failures);
}

TEST(Tmr_LogFile, WideStringsReachLsAsUtf8AndANullStringPrintsNull) {
    const _bstr_t ascii("trapeze");
    const _bstr_t accented = _bstr_t::FromUtf8(
        "Kn\xC3\xB6"
        "chel \xE2\x82\xAC");
    const _bstr_t empty("");
    const _bstr_t null;
    TMR_LOG("VXR_VOLR_ColorClass", 3, "Failed to get opacity graph type=%ls\n",
            Tmr_Wide(ascii).c_str());
    TMR_LOG("VXR_VOLR_ColorClass", 3, "type=%ls\n", Tmr_Wide(accented).c_str());
    TMR_LOG("VXR_VOLR_ColorClass", 3, "type=%ls|\n", Tmr_Wide(empty).c_str());
    TMR_LOG("VXR_VOLR_ColorClass", 3, "type=%ls\n", Tmr_Wide(null).c_str());
    EXPECT_EQ(vxrp_test::TakeLogTexts(),
              (std::vector<std::string>{"Failed to get opacity graph type=trapeze\n",
                                        "type=Kn\xC3\xB6"
                                        "chel \xE2\x82\xAC\n",
                                        "type=|\n", "type=(null)\n"}));
}

TEST(Tmr_LogFile, ALineThatCannotBeFormattedKeepsItsFormat) {
    const wchar_t surrogate[] = {static_cast<wchar_t>(0xD800), L'\0'};
    TMR_LOG("VXR_Bad", 3, "name=%ls\n", surrogate);
    const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].source, "VXR_Bad");
    EXPECT_EQ(vxrp_test::TakeLogTexts(), (std::vector<std::string>{"(unformattable) name=%ls\n"}));
}

TEST(Tmr_LogFile, PointersAndNumbersFollowPrintf) {
    int object = 0;
    char expected[64];
    std::snprintf(expected, sizeof expected, "this=%p x=%.3f\n", static_cast<void*>(&object), 0.25);
    TMR_LOG("VXR_MIP_ProjectParams", 7, "this=%p x=%.3f\n", static_cast<void*>(&object), 0.25);
    EXPECT_EQ(vxrp_test::TakeLogTexts(), (std::vector<std::string>{expected}));
}

TEST(Tmr_LogFile, ThreadsKeepTheirOwnParamsAndLoseNoLine) {
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string source = "VXR_Thread" + std::to_string(t);
            for (int i = 0; i < kLines; ++i) {
                if (TmrGLog.StoreParams(source.c_str(), t * 1000 + i, 7, 460, 1)) {
                    Tmr_LogFile::Log("%d %d\n", t, i);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::vector<Tmr_LogRecord> records = TmrGLog.Records();
    vxrp_test::TakeLogTexts();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const Tmr_LogRecord& record : records) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(record.text.c_str(), "%d %d", &t, &i), 2);
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(record.source, "VXR_Thread" + std::to_string(t));
        EXPECT_EQ(record.line, t * 1000 + i);
        EXPECT_EQ(i, next[static_cast<std::size_t>(t)]++);  // each thread's lines in order
    }
}

// Puts back the echo the environment asks for when a test ends, also on failure.
class EchoGuard {
  public:
    EchoGuard() = default;
    ~EchoGuard() { TmrGLog.SetEcho(std::getenv("TMR_LOG_ECHO")); }
    EchoGuard(const EchoGuard&) = delete;
    EchoGuard& operator=(const EchoGuard&) = delete;
};

void WriteEchoLine() {
    TMR_LOG("VXR_Echo", 3, "echoed %d %ls\n", 7, Tmr_Wide(_bstr_t("w")).c_str());
    vxrp_test::TakeLogTexts();
}

TEST(Tmr_LogFile, TheEchoSettingCopiesLinesToAFileOrStandardError) {
    const EchoGuard guard;
    const std::string base = testing::TempDir() + "tmr_echo_" + std::to_string(getpid());
    const std::string file = base + ".log";
    const std::string err = base + ".err";
    const std::regex line(R"(VXR_Echo\(\d+\) \[3\] echoed 7 w\n)");

    // A path is appended to, not overwritten, each time the echo is set to it.
    std::remove(file.c_str());
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(TmrGLog.SetEcho(file.c_str()));
        WriteEchoLine();
    }
    ASSERT_TRUE(TmrGLog.SetEcho(nullptr));
    WriteEchoLine();  // not echoed
    const std::string appended = ReadFile(file);
    ASSERT_EQ(appended.size() % 2, 0u) << appended;
    EXPECT_TRUE(std::regex_match(appended.substr(0, appended.size() / 2), line)) << appended;
    EXPECT_EQ(appended.substr(0, appended.size() / 2), appended.substr(appended.size() / 2));

    // "stderr" writes to whatever file descriptor 2 is at the time.
    std::fflush(stderr);
    const int saved = dup(2);
    ASSERT_GE(saved, 0);
    std::FILE* capture = std::fopen(err.c_str(), "w");
    ASSERT_NE(capture, nullptr);
    dup2(fileno(capture), 2);
    ASSERT_TRUE(TmrGLog.SetEcho("stderr"));
    WriteEchoLine();
    ASSERT_TRUE(TmrGLog.SetEcho(""));
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::fclose(capture);
    const std::string echoed = ReadFile(err);
    EXPECT_TRUE(std::regex_match(echoed, line)) << echoed;

    // A path that cannot be opened is refused and echoes nothing.
    EXPECT_FALSE(TmrGLog.SetEcho((base + "/no/such/folder/x.log").c_str()));
    WriteEchoLine();
    std::remove(file.c_str());
    std::remove(err.c_str());
}

TEST(Tmr_LogFile, AnInjectedEchoStreamGetsEveryLineUntilItIsTakenAway) {
    const EchoGuard guard;
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    TmrGLog.SetEchoStream(stream);
    WriteEchoLine();
    WriteEchoLine();
    TmrGLog.SetEchoStream(nullptr);
    WriteEchoLine();
    std::rewind(stream);
    std::string text;
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
        text.push_back(static_cast<char>(c));
    }
    std::fclose(stream);  // the log never closes a stream it was given
    const std::regex two_lines(R"((VXR_Echo\(\d+\) \[3\] echoed 7 w\n){2})");
    EXPECT_TRUE(std::regex_match(text, two_lines)) << text;
}
