#include "tools/VxrpOutput.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "tools/VxrpCli.h"

VxrpOutput::VxrpOutput(std::string path) : m_Path(std::move(path)) {
    if (m_Path.empty()) {
        throw VxrpError(kVxrpUsage, "the output path is empty");
    }
}

VxrpOutput::~VxrpOutput() {
    if (m_pStream != nullptr && !IsStdout()) {
        std::fclose(m_pStream);
    }
    if (!m_bCommitted && !m_TempPath.empty()) {
        std::remove(m_TempPath.c_str());
    }
}

void VxrpOutput::fail(const std::string& why) const {
    throw VxrpError(kVxrpCannotWrite, "cannot write " + m_Path + ": " + why);
}

const std::string& VxrpOutput::TempPath() {
    if (m_TempPath.empty()) {
        m_TempPath = m_Path + ".vxrp-" + std::to_string(::getpid()) + ".tmp";
    }
    return m_TempPath;
}

std::FILE* VxrpOutput::Stream() {
    if (m_pStream != nullptr) {
        return m_pStream;
    }
    if (IsStdout()) {
        m_pStream = stdout;
        return m_pStream;
    }
    m_pStream = std::fopen(TempPath().c_str(), "wb");
    if (m_pStream == nullptr) {
        fail(std::strerror(errno));
    }
    return m_pStream;
}

void VxrpOutput::Commit() {
    if (IsStdout()) {
        if (m_pStream != nullptr && (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)) {
            fail(std::strerror(errno));
        }
        m_bCommitted = true;
        return;
    }
    if (m_pStream != nullptr) {
        const bool bad = std::ferror(m_pStream) != 0;
        const int closed = std::fclose(m_pStream);
        const int error = errno;
        m_pStream = nullptr;
        if (bad || closed != 0) {
            fail(bad ? "write error" : std::strerror(error));
        }
    }
    std::error_code error;
    std::filesystem::rename(TempPath(), m_Path, error);
    if (error) {
        fail(error.message());
    }
    m_bCommitted = true;
}

std::string VxrpReadFile(const std::string& path, std::size_t maxBytes) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw VxrpError(kVxrpBadInput, "cannot read " + path + ": it is a directory");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw VxrpError(kVxrpBadInput, "cannot read " + path + ": " + std::strerror(errno));
    }
    std::string text;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        const auto got = static_cast<std::size_t>(in.gcount());
        if (text.size() + got > maxBytes) {
            throw VxrpError(kVxrpBadInput, "cannot read " + path + ": larger than " +
                                               std::to_string(maxBytes) + " bytes");
        }
        text.append(buffer, got);
    }
    if (in.bad()) {
        throw VxrpError(kVxrpBadInput, "cannot read " + path + ": read error");
    }
    return text;
}
