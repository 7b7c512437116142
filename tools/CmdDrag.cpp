// vxrp drag - a window dragged as the viewer drags it: one step on every
// class, then the renderer's new table, step after step, with the time each
// step takes.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "tools/VxrpCli.h"
#include "tools/VxrpData.h"
#include "tools/VxrpProtocols.h"

namespace {

struct DragOptions {
    std::string protocol;
    VxrpDataOptions data;
    int steps = 100;
    float step = 0.004f;
    bool center = false;
    int threads = 1;
};

int run(DragOptions& options) {
    const VxrpData data = options.data.Resolve();
    const std::string name = options.protocol.empty() ? VxrpDefaultPresetName() : options.protocol;
    const std::unique_ptr<VXR_VOLR_ColorProtocol> protocol = VxrpOpenProtocol(name);
    VXR_VOLR_ColorProtocol::SetTableThreads(options.threads);
    VxrpView view(*protocol, data);
    view.Table();  // the table before the drag

    // Fifty steps one way, fifty back, so that a long drag never reaches the
    // window's clamp.
    std::vector<double> took;
    took.reserve(static_cast<std::size_t>(options.steps));
    float step = options.step;
    for (int i = 0; i < options.steps; ++i) {
        if (i > 0 && i % 50 == 0) {
            step = -step;
        }
        const auto started = std::chrono::steady_clock::now();
        VxrpMoveWindow(view.Live(), name, options.center ? step : 0.0f,
                       options.center ? 0.0f : step);
        view.Refreeze();  // as the viewer re-freezes its renderer's copy
        view.Table();
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - started;
        took.push_back(elapsed.count());
    }
    std::sort(took.begin(), took.end());
    std::printf(
        "%d steps of %s(%+g) on \"%s\", %d-bit data (%zu entries), %u classes, "
        "%d table thread%s\n",
        options.steps, options.center ? "AddCenter" : "AddWidth", static_cast<double>(options.step),
        VxrpProtocolTitle(view.Live()).c_str(), data.bits, data.Entries(),
        view.Live().GetClassCount(), VXR_VOLR_ColorProtocol::GetTableThreads(),
        VXR_VOLR_ColorProtocol::GetTableThreads() == 1 ? "" : "s");
    std::printf(
        "per step (window, copy, new table): median %.3f ms, fastest %.3f ms, slowest "
        "%.3f ms\n",
        took[took.size() / 2], took.front(), took.back());
    return kVxrpOk;
}

}  // namespace

void VxrpAddDragCommand(VxrpProgram& program) {
    auto options = std::make_shared<DragOptions>();
    CLI::App* command = program.AddCommand(
        "drag", "a window dragged step by step as in the viewer, with the time of each step",
        [options] { return run(*options); });
    command->add_option("protocol", options->protocol,
                        "a preset name (see vxrp presets) or a protocol file; default: the "
                        "default preset");
    options->data.AddTo(command);
    command->add_option("--steps", options->steps, "how many steps")
        ->check(CLI::Range(1, 100000))
        ->capture_default_str();
    command
        ->add_option("--step", options->step,
                     "how far each step moves every class's window (fifty steps one way, "
                     "then fifty back)")
        ->check(CLI::Range(-0.01f, 0.01f))
        ->capture_default_str();
    command->add_flag("--center", options->center,
                      "move the window centres (AddCenter) instead of the widths (AddWidth)");
    command
        ->add_option("--threads", options->threads,
                     "threads that calculate each table, this one included (the library "
                     "clamps it to the processor's)")
        ->check(CLI::Range(1, 256))
        ->capture_default_str();
    command->footer(
        "Each step is what the viewer does on a mouse move: AddWidth or AddCenter on the live "
        "protocol (every class), a new frozen copy for the renderer, and its table.");
}
