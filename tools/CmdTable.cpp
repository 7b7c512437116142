// vxrp table - the colour table of a protocol for a series' data description,
// as the renderer receives it.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/VxrpCli.h"
#include "tools/VxrpData.h"
#include "tools/VxrpOutput.h"
#include "tools/VxrpProtocols.h"

namespace {

struct TableOptions {
    std::string protocol;
    VxrpDataOptions data;
    std::string format = "print";
    std::string output = "-";
};

// The library's own dump goes to standard output; for a file, standard output
// is pointed at it while the library prints.
void write_print(VXR_VOLR_ColorProtocol& live, VxrpOutput& out) {
    if (out.IsStdout()) {
        live.Print();
        return;
    }
    std::FILE* stream = out.Stream();
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    if (saved < 0 || ::dup2(::fileno(stream), STDOUT_FILENO) < 0) {
        throw VxrpError(kVxrpCannotWrite,
                        "cannot write " + out.Path() + ": " + std::strerror(errno));
    }
    live.Print();
    const bool flushed = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    const int error = errno;
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    std::clearerr(stdout);
    if (!flushed) {
        throw VxrpError(kVxrpCannotWrite,
                        "cannot write " + out.Path() + ": " + std::strerror(error));
    }
}

void write_hex(VxrpView& view, VxrpOutput& out) {
    std::FILE* stream = out.Stream();
    const unsigned int* table = view.Table();
    for (long raw = view.Data().RawMin(); raw <= view.Data().RawMax(); ++raw) {
        std::fprintf(stream, "%ld\t%08x\n", raw, table[raw]);
    }
}

void write_binary(VxrpView& view, VxrpOutput& out) {
    std::FILE* stream = out.Stream();
    const unsigned int* block = view.Block();
    const std::size_t entries = view.Data().Entries();
    std::vector<unsigned char> bytes(entries * 4);
    for (std::size_t k = 0; k < entries; ++k) {
        for (std::size_t b = 0; b < 4; ++b) {
            bytes[4 * k + b] = static_cast<unsigned char>(block[k] >> (8 * b));
        }
    }
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

int run(TableOptions& options) {
    const VxrpData data = options.data.Resolve();
    const std::unique_ptr<VXR_VOLR_ColorProtocol> protocol =
        VxrpOpenProtocol(options.protocol.empty() ? VxrpDefaultPresetName() : options.protocol);
    VxrpView view(*protocol, data);
    VxrpOutput out(options.output);
    view.Table();  // the renderer's table first: it fails here when there is none
    if (options.format == "print") {
        write_print(view.Live(), out);
    } else if (options.format == "hex") {
        write_hex(view, out);
    } else {
        write_binary(view, out);
    }
    out.Commit();
    return kVxrpOk;
}

}  // namespace

void VxrpAddTableCommand(VxrpProgram& program) {
    auto options = std::make_shared<TableOptions>();
    CLI::App* command = program.AddCommand(
        "table", "the colour table of a protocol for a data description or a DICOM file",
        [options] { return run(*options); });
    command->add_option("protocol", options->protocol,
                        "a preset name (see vxrp presets) or a protocol file; default: the "
                        "default preset");
    options->data.AddTo(command);
    command
        ->add_option("--format", options->format,
                     "print: the library's dump, one line per entry: index, index / (2^bits - 1), "
                     "opacity, red, green, blue, the entry in hex (tab-separated), then a line "
                     "of dashes; hex: one line per entry, the raw value and the entry as 8 hex "
                     "digits (red green blue opacity); binary: the entries as 32-bit "
                     "little-endian words. Always lowest raw value first.")
        ->check(CLI::IsMember({"print", "hex", "binary"}))
        ->capture_default_str();
    command->add_option("-o,--output", options->output,
                        "write to this file (default: standard output)");
}
