#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Runs the built vxrp program (VXRP_TOOL_PATH) as a user would and collects
// what it answered.
namespace vxrp_host_test {

struct RunResult {
    int exitCode = -1;  // -1 when the program did not exit normally (a crash)
    std::string out;
    std::string err;
};

// Runs vxrp with args in directory cwd.
RunResult RunVxrp(const std::vector<std::string>& args, const std::filesystem::path& cwd);

// A fresh directory removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::filesystem::path& Path() const { return m_Path; }
    // Writes text into name and answers the file's path.
    std::string Write(const std::string& name, const std::string& text) const;

  private:
    std::filesystem::path m_Path;
};

std::string ReadText(const std::filesystem::path& path);

}  // namespace vxrp_host_test
