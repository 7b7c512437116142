// vxrp - a command-line host for the VXRP library. It drives the library the
// way a 3-D viewer would and prints what comes out, so the library can be seen
// at work without a workstation.

#include <cstdio>
#include <cstring>
#include <string_view>

#include "VXR_LibraryInfo.h"
#include "VxrpCommands.h"

namespace {

void print_usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: vxrp [command [arguments]]\n"
                 "\n"
                 "Runs the VXRP library as a 3-D viewer would and prints the results.\n"
                 "Without a command, every demonstration runs in turn.\n"
                 "\n"
                 "commands:\n");
    for (const VxrpCommand& command : VxrpCommands()) {
        std::fprintf(out, "  %-12s %s\n", command.name, command.summary);
    }
    std::fprintf(out,
                 "\n"
                 "options:\n"
                 "  --help       this text\n"
                 "  --version    the library's version\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 1) {
        int status = 0;
        for (const VxrpCommand& command : VxrpCommands()) {
            std::printf("=== %s ===\n", command.name);
            status |= command.run(0, nullptr);
        }
        return status;
    }
    const std::string_view arg = argv[1];
    if (arg == "--help" || arg == "-h") {
        print_usage(stdout);
        return 0;
    }
    if (arg == "--version") {
        std::printf("vxrp %s\n", VXR_GetLibraryVersion());
        return 0;
    }
    for (const VxrpCommand& command : VxrpCommands()) {
        if (arg == command.name) {
            return command.run(argc - 2, argv + 2);
        }
    }
    std::fprintf(stderr, "vxrp: unknown command '%s'\n\n", argv[1]);
    print_usage(stderr);
    return 2;
}
