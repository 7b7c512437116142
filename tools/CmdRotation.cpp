// vxrp rotation - the rotation parameters as the viewer uses them: the six
// standard views, a key-frame movie from one view to another and a full turn.

#include <cmath>
#include <cstdio>
#include <numbers>

#include "IP/IP_Matrix.h"
#include "VXR_RotationParams.h"
#include "tools/VxrpCli.h"

namespace {

struct NamedView {
    const char* name;
    VXR_RotationParams::Orientation orientation;
};

constexpr NamedView kViews[] = {
    {"axial inferior", VXR_RotationParams::AxialInferior},
    {"axial superior", VXR_RotationParams::AxialSuperior},
    {"coronal anterior", VXR_RotationParams::CoronalAnterior},
    {"coronal posterior", VXR_RotationParams::CoronalPosterior},
    {"sagittal left", VXR_RotationParams::SagittalLeft},
    {"sagittal right", VXR_RotationParams::SagittalRight},
};

// Rounding noise of the float turns (cos 90 degrees is -4.4e-8) would print as
// "-0.000"; it is shown as 0.
float tidy(float v) {
    return std::fabs(v) < 5e-5f ? 0.0f : v;
}

// The 3x3 turning block, row by row: row i is where axis i of the volume goes.
void print_matrix(const VXR_RotationParams& params) {
    float m[4][4];
    params.GetRotation(m);
    std::printf("[");
    for (int i = 0; i < 3; ++i) {
        std::printf("%s%6.3f %6.3f %6.3f", i == 0 ? "" : " |", tidy(m[i][0]), tidy(m[i][1]),
                    tidy(m[i][2]));
    }
    std::printf("]");
}

// Turning angle, in degrees, that leads from a to b.
double degrees_between(const VXR_RotationParams& a, const VXR_RotationParams& b) {
    float ma[4][4];
    float mb[4][4];
    float inv[4][4];
    float rel[4][4];
    a.GetRotation(ma);
    b.GetRotation(mb);
    if (!IP_Minv(ma, inv)) {
        return std::nan("");
    }
    IP_Mmul(inv, mb, rel);
    const double c = (double(rel[0][0]) + rel[1][1] + rel[2][2] - 1.0) * 0.5;
    return std::acos(std::fmax(-1.0, std::fmin(1.0, c))) * 180.0 / std::numbers::pi;
}

void print_frames(UTL_BaseParams* const* frames, int count) {
    const auto* first = static_cast<const VXR_RotationParams*>(frames[0]);
    for (int i = 0; i < count; ++i) {
        const auto* frame = static_cast<const VXR_RotationParams*>(frames[i]);
        if (frame == nullptr) {
            std::printf("  frame %d  (none)\n", i);
            continue;
        }
        std::printf("  frame %d  %6.1f deg from frame 0  counter %2d  ", i,
                    degrees_between(*first, *frame), frame->GetCounter());
        print_matrix(*frame);
        std::printf("\n");
    }
}

// The angle between a frame and frame 0 never exceeds 180 degrees, so past the
// half turn it would seem to run backwards; the turn's progress adds up the
// steps from frame to frame instead (each well under a half turn).
void print_turn(UTL_BaseParams* const* frames, int count) {
    double progress = 0.0;
    for (int i = 0; i < count; ++i) {
        const auto* frame = static_cast<const VXR_RotationParams*>(frames[i]);
        if (frame == nullptr) {
            std::printf("  frame %d  (none)\n", i);
            continue;
        }
        if (i > 0 && frames[i - 1] != nullptr) {
            progress +=
                degrees_between(*static_cast<const VXR_RotationParams*>(frames[i - 1]), *frame);
        }
        std::printf("  frame %d  %6.1f deg into the turn  counter %2d  ", i, progress,
                    frame->GetCounter());
        print_matrix(*frame);
        std::printf("\n");
    }
}

// Deletes the frames a movie made (slots 1 .. last), which the host owns.
void release_made(UTL_BaseParams** frames, int first, int last) {
    for (int i = first; i <= last; ++i) {
        delete frames[i];
        frames[i] = nullptr;
    }
}

VXR_RotationParams view(VXR_RotationParams::Orientation orientation) {
    VXR_RotationParams params;
    params.SetDefaultOrientation(orientation);
    params.ResetOrientation();
    return params;
}

int run() {
    std::printf("Standard views (rows: where the volume's x, y and z axes turn to)\n");
    for (const NamedView& v : kViews) {
        const VXR_RotationParams params = view(v.orientation);
        std::printf("  %-18s ", v.name);
        print_matrix(params);
        std::printf("\n");
    }

    constexpr int kMovieFrames = 5;
    VXR_RotationParams from = view(VXR_RotationParams::CoronalAnterior);
    VXR_RotationParams to = view(VXR_RotationParams::SagittalLeft);
    UTL_BaseParams* movie[kMovieFrames] = {&from, nullptr, nullptr, nullptr, &to};
    std::printf("\nKey-frame movie, coronal anterior to sagittal left, %d frames\n", kMovieFrames);
    if (!from.Interpolate(movie, kMovieFrames, nullptr)) {
        std::printf("  interpolation failed\n");
        return 1;
    }
    print_frames(movie, kMovieFrames);
    release_made(movie, 1, kMovieFrames - 2);

    constexpr int kTurnFrames = 8;
    VXR_RotationParams start = view(VXR_RotationParams::CoronalAnterior);
    UTL_BaseParams* turn[kTurnFrames] = {&start};
    std::printf("\nFull turn about -y from coronal anterior, %d frames\n", kTurnFrames);
    if (!start.Interpolate(turn, kTurnFrames, nullptr)) {
        std::printf("  interpolation failed\n");
        return 1;
    }
    print_turn(turn, kTurnFrames);
    release_made(turn, 1, kTurnFrames - 1);

    VXR_RotationParams same = view(VXR_RotationParams::CoronalAnterior);
    UTL_BaseParams* still[kMovieFrames] = {&start, nullptr, nullptr, nullptr, &same};
    std::printf("\nKey frames with the same rotation: %s\n",
                start.Interpolate(still, kMovieFrames, nullptr) ? "frames made"
                                                                : "no frames (nothing to move)");
    return 0;
}

}  // namespace

void VxrpAddRotationCommand(VxrpProgram& program) {
    program.AddCommand("rotation", "the rotation parameters: standard views and key-frame movies",
                       run);
}
