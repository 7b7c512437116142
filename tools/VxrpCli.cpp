#include "tools/VxrpCli.h"

#include <cstdio>
#include <exception>
#include <new>
#include <utility>

#include "COM/COM_Error.h"
#include "VXR_LibraryInfo.h"

namespace {

constexpr const char* kFooter =
    "Exit codes: 0 done, 1 the library could not do it, 2 wrong command line,\n"
    "3 an input file could not be read or is malformed, 4 an output file could not be written.\n"
    "Set TMR_LOG_ECHO=stderr to see the workstation log lines the library writes.";

void print_error(const std::string& where, const char* text) {
    std::fprintf(stderr, "%s: %s\n", where.c_str(), text);
}

}  // namespace

VxrpProgram::VxrpProgram()
    : m_App(
          "Drives the VXRP library as a 3-D viewer does: colour protocols to colour tables\n"
          "and transfer-function pictures. Without a command it shows the built-in default\n"
          "protocol on 12-bit CT data and draws its transfer function.",
          "vxrp") {
    m_App.set_version_flag("--version", std::string("vxrp ") + VXR_GetLibraryVersion());
    m_App.require_subcommand(0, 1);
    m_App.footer(kFooter);
}

CLI::App* VxrpProgram::AddCommand(const std::string& name, const std::string& summary,
                                  VxrpRun run) {
    CLI::App* app = m_App.add_subcommand(name, summary);
    m_Commands.push_back({app, std::move(run)});
    return app;
}

int VxrpProgram::Main(int argc, char** argv) {
    std::string where = "vxrp";
    try {
        try {
            m_App.parse(argc, argv);
        } catch (const CLI::CallForHelp& e) {
            return m_App.exit(e);
        } catch (const CLI::CallForAllHelp& e) {
            return m_App.exit(e);
        } catch (const CLI::CallForVersion& e) {
            return m_App.exit(e);
        } catch (const CLI::ParseError& e) {
            for (const Command& command : m_Commands) {
                if (command.app->parsed()) {
                    where += " " + command.app->get_name();
                }
            }
            std::fprintf(stderr, "%s: %s (see %s --help)\n", where.c_str(), e.what(),
                         where.c_str());
            return kVxrpUsage;
        }
        for (const Command& command : m_Commands) {
            if (command.app->parsed()) {
                where += " " + command.app->get_name();
                return command.run();
            }
        }
        return m_Default ? m_Default() : kVxrpOk;
    } catch (const VxrpError& e) {
        print_error(where, e.what());
        return e.Code();
    } catch (const std::bad_alloc&) {
        print_error(where, "out of memory");
        return kVxrpFailed;
    } catch (const _com_error& e) {
        print_error(where, e.what());
        return kVxrpFailed;
    } catch (const std::exception& e) {
        print_error(where, e.what());
        return kVxrpFailed;
    }
}
