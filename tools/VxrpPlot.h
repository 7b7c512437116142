#pragma once

#include <string>

class VxrpOutput;
class VxrpView;

// The transfer-function picture of `vxrp plot` and of the default run, a PNG
// drawn with cairo. Layout, in pixels from the top-left corner:
//
//   title (the protocol's name)                               y about 32
//   plot area: x 70..769, opacity 1 at y 60 .. opacity 0 at y 360
//     each class's opacity curve in its colour (filled faintly below),
//     then the composite opacity of the table as a white curve on top
//   colour bar: y 372..391 the colour of each entry,
//               y 395..406 the colour times its opacity, on black
//   ticks and values of the axis, the axis title, the class legend
//
// Column x (70..769) shows raw value rawMin + floor((x - 70 + 0.5) * N / 700),
// N = 2^bits, so the axis runs from the lowest raw value at the left edge to
// the highest at the right; opacity a is drawn at y = 360 - 300 a. A class's
// curve is its relative opacity times the protocol's maximum opacity (times
// 0.2 in decreased-opacity mode), so the composite is their upper envelope.
namespace vxrp_plot {
inline constexpr int kWidth = 800;
inline constexpr int kHeight = 500;
inline constexpr int kLeft = 70;
inline constexpr int kColumns = 700;
inline constexpr int kTop = 60;
inline constexpr int kBottom = 360;
inline constexpr int kBarTop = 372;
inline constexpr int kBarBottom = 392;
inline constexpr int kShadedTop = 395;
inline constexpr int kShadedBottom = 407;
}  // namespace vxrp_plot

// Draws the view's table and live protocol into out. With rawAxis the axis is
// labelled in raw stored values, otherwise in rescaled values (Hounsfield
// units) when the data are rescaled.
void VxrpDrawPlot(VxrpView& view, const std::string& title, bool rawAxis, VxrpOutput& out);
