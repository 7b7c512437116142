// vxrp voi - the volumes of interest as the viewer's drawing tools make them:
// a rectangle that adds a region, an oval that cuts one away and a free-hand
// outline, each started at the pointer and dragged out, then drawn over the
// view with their corner handles. Prints each element and what it asked of the
// drawing context; with -o FILE.png the overlay is also drawn into a picture
// and saved.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <string>

#include "GRA/GRA_GeneralParams.h"
#include "UI/UI_PictureContext.h"
#include "UI/UI_RecordingContext.h"
#include "VXR_FreeVoi.h"
#include "VXR_OvalVoi.h"
#include "VXR_RectVoi.h"
#include "tools/VxrpCli.h"

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 320;

struct Shape {
    const char* label;
    VXR_Voi* voi;
    UTL_Point labelAt;
};

void print_points(const VXR_Voi& voi) {
    const auto& points = voi.GetPoints();
    std::printf("  points (%zu):", points.entries());
    std::size_t shown = 0;
    for (const UTL_Point& p : points) {
        if (shown++ == 6) {
            std::printf(" ...");
            break;
        }
        std::printf(" (%d,%d)", p.x, p.y);
    }
    std::printf("\n");
}

// A faint stand-in for the rendered volume under the overlay: a grey disc.
void draw_backdrop(UI_PictureContext& picture) {
    picture.PrepareDrawing();
    for (int y = 30; y < 290; ++y) {
        const double dy = (y - 160) / 130.0;
        const double half = 220.0 * std::sqrt(std::max(0.0, 1.0 - dy * dy));
        const int shade = 40 + static_cast<int>(30.0 * (1.0 - std::fabs(dy)));
        picture.SelectPen(UTL_Color(shade, shade, shade + 8), 1, 0);
        picture.DrawLine(UTL_Point(240 - static_cast<int>(half), y),
                         UTL_Point(240 + static_cast<int>(half), y));
    }
}

int run(const std::string& output) {
    // The rectangle tool: four corners at the press, then the drag moves the
    // opposite corner.
    VXR_RectVoiPlus rect(40, 70);
    for (int step = 1; step <= 4; ++step) {
        rect.Resize(40 + 30 * step, 70 + 35 * step);
    }
    // The oval tool drags the same way; the ellipse follows at every draw.
    VXR_OvalVoiMinus oval(220, 60);
    for (int step = 1; step <= 4; ++step) {
        oval.Resize(220 + 55 * step, 60 + 30 * step);
    }
    // The free-hand tool: two points at the press; the last one follows the
    // pointer and a new one is laid down every few pixels.
    VXR_FreeVoiPlus free(120, 240);
    for (int step = 1; step <= 24; ++step) {
        const double t = step / 24.0;
        const int x = 120 + static_cast<int>(260.0 * t);
        const int y = 240 + static_cast<int>(30.0 * std::sin(t * 2.0 * std::numbers::pi));
        free.MoveEndPoint(x, y);
        free.AddPoint(x, y);
    }
    free.DeleteLastPoint();  // the release: the doubled last point goes

    const Shape shapes[] = {
        {"rectangle +", &rect, UTL_Point(40, 62)},
        {"oval -", &oval, UTL_Point(220, 52)},
        {"free-hand +", &free, UTL_Point(120, 230)},
    };

    for (const Shape& shape : shapes) {
        UI_RecordingContext recorder(GRA_GeneralParams::SCREEN);
        shape.voi->Draw(nullptr, nullptr, &recorder, false, false, 0, true);
        std::printf("%s (element type %d)\n", shape.label, shape.voi->GetElementType());
        print_points(*shape.voi);
        if (const auto* o = dynamic_cast<const VXR_OvalVoi*>(shape.voi); o != nullptr) {
            std::printf("  ellipse: %d points\n", o->GetEllipsePointCount());
        }
        std::printf("  drawing: %zu calls, %zu lines; first calls:\n", recorder.Calls().size(),
                    recorder.Lines().size());
        const auto dump = recorder.Dump();
        for (std::size_t i = 0; i < dump.size() && i < 7; ++i) {
            std::printf("    %s\n", dump[i].c_str());
        }
    }

    if (output.empty()) {
        return 0;
    }
    UI_PictureContext picture(kWidth, kHeight, UTL_Color(12, 12, 16), GRA_GeneralParams::SCREEN);
    draw_backdrop(picture);
    const GRA_GeneralParamsData& general =
        GRA_GeneralParams::GetGeneralParams(GRA_GeneralParams::SCREEN);
    for (const Shape& shape : shapes) {
        shape.voi->Draw(nullptr, nullptr, &picture, false, false, 0, true);
        picture.SetDrawColor(general.GetHighlightColor());
        picture.DrawText(shape.labelAt, shape.label);
    }
    std::string error;
    if (!picture.SaveAsPng(output, &error)) {
        throw VxrpError(kVxrpCannotWrite, error);
    }
    std::printf("wrote %s (%d x %d)\n", output.c_str(), kWidth, kHeight);
    return 0;
}

}  // namespace

void VxrpAddVoiCommand(VxrpProgram& program) {
    auto output = std::make_shared<std::string>();
    CLI::App* command =
        program.AddCommand("voi", "volumes of interest drawn as a viewer's drawing tools make them",
                           [output] { return run(*output); });
    command->add_option("-o,--output", *output, "also draw the overlay into this PNG file");
}
