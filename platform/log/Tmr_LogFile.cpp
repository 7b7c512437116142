#include "log/Tmr_LogFile.h"

#include <climits>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <locale.h>

Tmr_LogFile TmrGLog;

namespace {

struct PendingParams {
    bool set = false;
    bool suppressed = false;  // the last StoreParams turned the line down
    std::string source;
    int line = 0;
    int level = 0;
    int module = 0;
};

thread_local PendingParams t_Pending;

// Formats under a copy of the thread's locale whose character type is UTF-8, so
// that "%ls" turns any wide text into UTF-8; in the plain "C" locale printf
// fails on the first non-ASCII character and the whole line would be lost.
// Numbers keep following the caller's locale.
int format_utf8(char* buffer, std::size_t size, const char* format, va_list args) {
    const locale_t current = uselocale(static_cast<locale_t>(nullptr));
    const locale_t base = duplocale(current);
    const locale_t utf8 =
        base != static_cast<locale_t>(nullptr) ? newlocale(LC_CTYPE_MASK, "C.UTF-8", base) : base;
    if (utf8 == static_cast<locale_t>(nullptr)) {
        if (base != static_cast<locale_t>(nullptr)) {
            freelocale(base);
        }
        return std::vsnprintf(buffer, size, format, args);
    }
    uselocale(utf8);
    const int result = std::vsnprintf(buffer, size, format, args);
    uselocale(current);
    freelocale(utf8);
    return result;
}

}  // namespace

Tmr_LogFile::Tmr_LogFile() : m_nMaxLevel(INT_MAX) {
    SetEcho(std::getenv("TMR_LOG_ECHO"));
}

Tmr_LogFile::~Tmr_LogFile() {
    replace_echo(nullptr, false);
}

bool Tmr_LogFile::SetEcho(const char* setting) {
    if (setting == nullptr || *setting == '\0') {
        replace_echo(nullptr, false);
        return true;
    }
    if (std::strcmp(setting, "stderr") == 0) {
        replace_echo(stderr, false);
        return true;
    }
    std::FILE* file = std::fopen(setting, "a");
    replace_echo(file, file != nullptr);
    return file != nullptr;
}

void Tmr_LogFile::SetEchoStream(std::FILE* stream) {
    replace_echo(stream, false);
}

void Tmr_LogFile::replace_echo(std::FILE* stream, bool owned) {
    std::FILE* old = nullptr;
    {
        std::lock_guard lock(m_Mutex);
        if (m_bEchoOwned) {
            old = m_pEcho;
        }
        m_pEcho = stream;
        m_bEchoOwned = owned;
    }
    if (old != nullptr) {
        std::fclose(old);
    }
}

int Tmr_LogFile::StoreParams(const char* source, int line, int level, int module, int /*flag*/) {
    if (level > GetMaxLevel()) {
        t_Pending = PendingParams{};
        t_Pending.suppressed = true;
        return 0;
    }
    try {
        t_Pending =
            PendingParams{true, false, source != nullptr ? source : "", line, level, module};
    } catch (const std::bad_alloc&) {
        // No memory for the line's source: the line is turned down and counted.
        t_Pending = PendingParams{};
        t_Pending.suppressed = true;
        count_dropped();
        return 0;
    }
    return 1;
}

void Tmr_LogFile::Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    try {
        log(format, args);
    } catch (const std::bad_alloc&) {
        // A log line is never worth an error of its own: one that cannot be
        // made for want of memory is dropped and counted.
        TmrGLog.count_dropped();
    }
    va_end(args);
}

void Tmr_LogFile::count_dropped() {
    std::lock_guard lock(m_Mutex);
    ++m_nDropped;
}

void Tmr_LogFile::log(const char* format, va_list args) {
    Tmr_LogRecord record;
    if (t_Pending.set) {
        record.source = std::move(t_Pending.source);
        record.line = t_Pending.line;
        record.level = t_Pending.level;
        record.module = t_Pending.module;
    }
    const bool suppressed = t_Pending.suppressed;
    t_Pending = PendingParams{};
    if (format == nullptr || suppressed) {
        return;
    }

    va_list again;
    va_copy(again, args);
    const int needed = format_utf8(nullptr, 0, format, args);
    if (needed > 0) {
        record.text.resize(static_cast<std::size_t>(needed) + 1);
        format_utf8(record.text.data(), record.text.size(), format, again);
        record.text.resize(static_cast<std::size_t>(needed));
    } else if (needed < 0) {
        // Text that cannot be formatted at all still leaves a trace of where
        // it came from rather than an empty line.
        record.text = std::string("(unformattable) ") + format;
    }
    va_end(again);
    TmrGLog.store(std::move(record));
}

void Tmr_LogFile::store(Tmr_LogRecord record) {
    std::lock_guard lock(m_Mutex);
    if (m_pEcho != nullptr) {
        std::fprintf(m_pEcho, "%s(%d) [%d] %s", record.source.c_str(), record.line, record.level,
                     record.text.c_str());
        std::fflush(m_pEcho);
    }
    if (m_Records.size() == kCapacity) {
        m_Records.pop_front();
        ++m_nDropped;
    }
    m_Records.push_back(std::move(record));
}

std::vector<Tmr_LogRecord> Tmr_LogFile::Records() const {
    std::lock_guard lock(m_Mutex);
    return {m_Records.begin(), m_Records.end()};
}

std::vector<std::string> Tmr_LogFile::Texts() const {
    std::lock_guard lock(m_Mutex);
    std::vector<std::string> texts;
    texts.reserve(m_Records.size());
    for (const Tmr_LogRecord& record : m_Records) {
        texts.push_back(record.text);
    }
    return texts;
}

std::size_t Tmr_LogFile::DroppedCount() const {
    std::lock_guard lock(m_Mutex);
    return m_nDropped;
}

void Tmr_LogFile::Clear() {
    std::lock_guard lock(m_Mutex);
    m_Records.clear();
    m_nDropped = 0;
}

void Tmr_LogFile::SetMaxLevel(int level) {
    std::lock_guard lock(m_Mutex);
    m_nMaxLevel = level;
}

int Tmr_LogFile::GetMaxLevel() const {
    std::lock_guard lock(m_Mutex);
    return m_nMaxLevel;
}
