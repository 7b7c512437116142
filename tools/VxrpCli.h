#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

// The frame every vxrp command is built on.
//
// A command is one file, tools/Cmd<Name>.cpp, with one function
// `void VxrpAdd<Name>Command(VxrpProgram&)` that adds its sub-command, its
// options and the function that runs it; tools/VxrpCommands.cpp calls each of
// those functions, one line per command.
//
// Failures: a command throws VxrpError with one line of text (no trailing
// newline, no program name) and an exit code; main prints
// "vxrp <command>: <text>" on standard error and exits with the code. Nothing
// else is printed on standard error.

// Exit codes of the program.
enum VxrpExitCode : int {
    kVxrpOk = 0,
    kVxrpFailed = 1,       // the library could not do it (no table, no memory, ...)
    kVxrpUsage = 2,        // wrong command line: unknown option, bad number, missing argument
    kVxrpBadInput = 3,     // a file given could not be read or is not what it should be
    kVxrpCannotWrite = 4,  // an output file could not be written
};

class VxrpError : public std::runtime_error {
  public:
    VxrpError(int code, const std::string& message) : std::runtime_error(message), m_nCode(code) {}
    int Code() const { return m_nCode; }

  private:
    int m_nCode;
};

using VxrpRun = std::function<int()>;

class VxrpProgram {
  public:
    VxrpProgram();
    VxrpProgram(const VxrpProgram&) = delete;
    VxrpProgram& operator=(const VxrpProgram&) = delete;

    CLI::App& App() { return m_App; }
    // Adds the sub-command `name`; run is called when it was chosen and its
    // answer becomes the exit code.
    CLI::App* AddCommand(const std::string& name, const std::string& summary, VxrpRun run);
    // What runs without a command.
    void SetDefault(VxrpRun run) { m_Default = std::move(run); }

    // Parses the command line and runs what it chose; answers the exit code.
    int Main(int argc, char** argv);

  private:
    struct Command {
        CLI::App* app;
        VxrpRun run;
    };
    CLI::App m_App;
    std::vector<Command> m_Commands;
    VxrpRun m_Default;
};

// Adds every command of the program (tools/VxrpCommands.cpp).
void VxrpAddCommands(VxrpProgram& program);
