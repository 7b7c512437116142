#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "COM/COM_BStr.h"

// The workstation log.
//
// Writing a line takes two calls, always in this order on one thread:
//
//     if (TmrGLog.StoreParams("VXR_Source", __LINE__, 7, 460, 1))
//         Tmr_LogFile::Log("format %d\n", value);
//
// StoreParams records where the line comes from and answers non-zero when a line
// of that level is wanted (level <= GetMaxLevel(); all levels by default); Log
// formats the line with printf rules and stores it with those parameters. Log
// without a preceding StoreParams on the same thread stores the line with an
// empty source; Log right after a StoreParams that answered 0 stores nothing
// (the line was turned down). The TMR_LOG macro below writes both calls.
//
// Texts are UTF-8: "%ls" arguments are converted to UTF-8 whatever the
// process's character-type locale; numbers follow the caller's locale. A line
// that printf cannot format at all is stored as "(unformattable) " followed by
// its format. Logging never raises: a line for which there is no memory is
// dropped and counted with the dropped ones (DroppedCount).
//
// Lines are kept in a bounded buffer (the newest kCapacity records; older ones
// are counted as dropped) that tests and tools read. Setting the environment
// variable TMR_LOG_ECHO to "stderr" echoes every line to standard error; any
// other non-empty value is taken as a file path that lines are appended to.
// The log reads the variable once, when it is made; SetEcho and SetEchoStream
// change the echo later (SetEcho takes the same values as the variable).
//
// Wide text: `%ls` expects wchar_t text (32 bits here). Pass a _bstr_t through
// Tmr_Wide(s).c_str(); a null string prints as "(null)".
//
// The log is safe to use from several threads.
struct Tmr_LogRecord {
    std::string source;
    int line = 0;
    int level = 0;
    int module = 0;
    std::string text;
};

class Tmr_LogFile {
  public:
    static constexpr std::size_t kCapacity = 4096;

    Tmr_LogFile();
    Tmr_LogFile(const Tmr_LogFile&) = delete;
    Tmr_LogFile& operator=(const Tmr_LogFile&) = delete;
    ~Tmr_LogFile();

    int StoreParams(const char* source, int line, int level, int module, int flag);
    static void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

    std::vector<Tmr_LogRecord> Records() const;
    // Texts of the records, oldest first.
    std::vector<std::string> Texts() const;
    std::size_t DroppedCount() const;
    void Clear();

    void SetMaxLevel(int level);
    int GetMaxLevel() const;

    // Echoes every later line as TMR_LOG_ECHO would with this value: "stderr",
    // a file path to append to, or null or "" for no echo. Answers false (and
    // echoes nothing) when the file cannot be opened.
    bool SetEcho(const char* setting);
    // Echoes every later line to a stream the caller keeps open while it is
    // set; null turns the echo off.
    void SetEchoStream(std::FILE* stream);

  private:
    static void log(const char* format, va_list args);
    void count_dropped();
    void store(Tmr_LogRecord record);
    void replace_echo(std::FILE* stream, bool owned);

    mutable std::mutex m_Mutex;
    std::deque<Tmr_LogRecord> m_Records;
    std::size_t m_nDropped = 0;
    int m_nMaxLevel;
    std::FILE* m_pEcho = nullptr;
    bool m_bEchoOwned = false;
};

extern Tmr_LogFile TmrGLog;

inline std::wstring Tmr_Wide(const _bstr_t& text) {
    return text.is_null() ? std::wstring(L"(null)") : text.wstr();
}

#define TMR_LOG(source, level, ...)                                   \
    do {                                                              \
        if (TmrGLog.StoreParams((source), __LINE__, (level), 460, 1)) \
            Tmr_LogFile::Log(__VA_ARGS__);                            \
    } while (0)
