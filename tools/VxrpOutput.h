#pragma once

#include <cstdio>
#include <string>

// An output file written whole or not at all: everything goes into a temporary
// file beside it, which replaces the file only when all of it was written, so
// a failed run never leaves a half-written or clobbered file. The path "-"
// means standard output (written directly).
//
// Failures throw VxrpError with kVxrpCannotWrite, naming the path and why.
class VxrpOutput {
  public:
    explicit VxrpOutput(std::string path);
    VxrpOutput(const VxrpOutput&) = delete;
    VxrpOutput& operator=(const VxrpOutput&) = delete;
    // Removes the temporary file of an output that was not committed.
    ~VxrpOutput();

    bool IsStdout() const { return m_Path == "-"; }
    const std::string& Path() const { return m_Path; }
    // The stream to write to (opened on first use).
    std::FILE* Stream();
    // Where a writer that wants a file name (not a stream) writes; the file
    // is then the caller's to fill before Commit. Not for standard output.
    const std::string& TempPath();
    // Checks that everything was written and puts the file in place.
    void Commit();

  private:
    [[noreturn]] void fail(const std::string& why) const;

    std::string m_Path;
    std::string m_TempPath;
    std::FILE* m_pStream = nullptr;
    bool m_bCommitted = false;
};

// The whole content of a file; VxrpError(kVxrpBadInput) naming the file when
// it cannot be read (missing, a directory, unreadable) or is larger than
// maxBytes.
std::string VxrpReadFile(const std::string& path, std::size_t maxBytes);
