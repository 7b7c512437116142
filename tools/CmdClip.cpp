// vxrp clip - the clipping parameters as the viewer uses them: two clip planes
// and a slab set up in two key frames, the movie between them as a viewer
// would play it, and what the comparison of two plane sets reports.

#include <cmath>
#include <cstdio>
#include <numbers>

#include "IP/IP_ClipManager.h"
#include "VXR_ClippingParams.h"
#include "tools/VxrpCli.h"

namespace {

constexpr int kTurning = 0;   // x <= 40, turning to y <= 40
constexpr int kMoving = 1;    // y >= -50, moving to y >= -20
constexpr int kSlabLow = 2;   // the slab -10 <= z <= 10, turning by 30 degrees
constexpr int kSlabHigh = 3;  // about x and moving 20 mm up its normal
constexpr int kFrames = 7;

// Rounding noise would print as "-0.000"; it is shown as 0.
double tidy(double v) {
    return std::fabs(v) < 5e-5 ? 0.0 : v;
}

bool set(VXR_ClippingParams& params, int number, float a, float b, float c, float d) {
    IP_ClippingPlane* plane = params.NewClipPlane(number);
    return plane != nullptr && plane->SetPlaneEq(a, b, c, d);
}

bool first_key_frame(VXR_ClippingParams& params) {
    return set(params, kTurning, 1, 0, 0, 40) && set(params, kMoving, 0, -1, 0, 50) &&
           set(params, kSlabLow, 0, 0, -1, 10) && set(params, kSlabHigh, 0, 0, 1, 10) &&
           params.GetClipManager()->SetSlab(kSlabLow, kSlabHigh);
}

bool last_key_frame(VXR_ClippingParams& params) {
    const float s = std::sin(std::numbers::pi_v<float> / 6.0f);
    const float c = std::cos(std::numbers::pi_v<float> / 6.0f);
    return set(params, kTurning, 0, 1, 0, 40) && set(params, kMoving, 0, -1, 0, 20) &&
           set(params, kSlabLow, 0, s, -c, -10) && set(params, kSlabHigh, 0, -s, c, 30) &&
           params.GetClipManager()->SetSlab(kSlabLow, kSlabHigh);
}

struct PlaneView {
    float eq[4];
};

PlaneView view_of(const VXR_ClippingParams& params, int number) {
    PlaneView v{{0, 0, 0, 0}};
    if (const IP_ClippingPlane* plane = params.GetClipManager()->GetClipPlane(number)) {
        plane->GetPlaneEq(v.eq);
    }
    return v;
}

double degrees_between(const PlaneView& a, const PlaneView& b) {
    const double dot =
        double(a.eq[0]) * b.eq[0] + double(a.eq[1]) * b.eq[1] + double(a.eq[2]) * b.eq[2];
    return std::acos(std::fmax(-1.0, std::fmin(1.0, dot))) * 180.0 / std::numbers::pi;
}

void print_frame(int index, const VXR_ClippingParams& frame, const VXR_ClippingParams& start) {
    std::printf("  frame %d  counter %2d\n", index, frame.GetCounter());
    IP_ClipManager& planes = *frame.GetClipManager();
    planes.ResetIterator();
    while (const IP_ClippingPlane* plane = planes.GetNextPlane()) {
        const PlaneView v = view_of(frame, plane->GetNumber());
        std::printf("    plane %d  normal (%6.3f %6.3f %6.3f)  distance %7.2f  turned %5.1f deg",
                    plane->GetNumber(), tidy(v.eq[0]), tidy(v.eq[1]), tidy(v.eq[2]), tidy(v.eq[3]),
                    degrees_between(view_of(start, plane->GetNumber()), v));
        if (plane->IsSlabPlane()) {
            std::printf("  slab with %d", plane->GetSlabPartner());
        }
        std::printf("\n");
    }
    // The two slab planes face away from each other, so the slab is as thick
    // as the sum of their distances from the origin.
    const PlaneView low = view_of(frame, kSlabLow);
    const PlaneView high = view_of(frame, kSlabHigh);
    std::printf("    slab thickness %.2f mm; the centre (0, 0, 0) is %s\n",
                double(low.eq[3]) + high.eq[3],
                planes.IsInside(IP_3Coord(0, 0, 0)) ? "kept" : "cut away");
}

int run() {
    VXR_ClippingParams from;
    VXR_ClippingParams to;
    if (!first_key_frame(from) || !last_key_frame(to)) {
        std::printf("  could not set up the key frames\n");
        return 1;
    }
    std::printf("Planes keep the side their normal points away from: a x + b y + c z <= d.\n");
    std::printf(
        "Key-frame movie, %d frames: plane %d turns 90 deg 40 mm from the centre,\n"
        "plane %d moves 30 mm, slab %d/%d turns 30 deg and moves 20 mm.\n",
        kFrames, kTurning, kMoving, kSlabLow, kSlabHigh);

    UTL_BaseParams* movie[kFrames] = {&from};
    movie[kFrames - 1] = &to;
    if (!from.Interpolate(movie, kFrames, nullptr)) {
        std::printf("  interpolation made nothing\n");
        return 1;
    }
    for (int i = 0; i < kFrames; ++i) {
        print_frame(i, *static_cast<const VXR_ClippingParams*>(movie[i]), from);
    }
    for (int i = 1; i < kFrames - 1; ++i) {
        delete movie[i];
    }

    // The comparison the host makes before it renders a key frame again.
    VXR_ClippingParams shown;
    first_key_frame(shown);
    VXR_ClippingParams flipped;
    first_key_frame(flipped);
    flipped.FlipClip(kMoving);
    flipped.GetClipManager()->FreeClipPlane(kTurning);
    std::printf("\nComparison with the same planes, plane %d flipped and plane %d gone: %s;\n",
                kMoving, kTurning, shown.IsChanged(&flipped) ? "changed" : "no change");
    std::printf("the shown set now holds %d planes.\n", shown.GetNumberClipPlanes());
    std::printf("Comparison with the last key frame: %s\n",
                shown.IsChanged(&to) ? "changed" : "no change");
    return 0;
}

}  // namespace

void VxrpAddClipCommand(VxrpProgram& program) {
    program.AddCommand("clip",
                       "the clipping parameters: a key-frame movie of clip planes and a slab", run);
}
