#include "tools/VxrpPlot.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "VXR_VOLR_ColorProtocol.h"
#include "tools/VxrpCli.h"
#include "tools/VxrpData.h"
#include "tools/VxrpOutput.h"

using namespace vxrp_plot;

namespace {

constexpr const char* kFont = "DejaVu Sans";

struct Rgb {
    double r, g, b;
};

constexpr Rgb kBackground{0.094, 0.094, 0.11};
constexpr Rgb kPlotBackground{0.157, 0.157, 0.18};
constexpr Rgb kGrid{0.27, 0.27, 0.31};
constexpr Rgb kText{0.86, 0.86, 0.86};

// Frees the font caches cairo and fontconfig keep for the life of the
// process once the picture is done (one per run), so that a leak check at
// exit sees only the program's own memory. Constructed before any cairo
// object, so that it runs after all of them are gone.
struct FontCacheRelease {
    FontCacheRelease() = default;
    FontCacheRelease(const FontCacheRelease&) = delete;
    FontCacheRelease& operator=(const FontCacheRelease&) = delete;
    ~FontCacheRelease() {
        cairo_debug_reset_static_data();
        FcFini();
    }
};

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

void set_colour(cairo_t* cr, const Rgb& c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

Rgb from_entry(unsigned int entry) {
    return {static_cast<double>(entry >> 24) / 255.0,
            static_cast<double>((entry >> 16) & 0xffu) / 255.0,
            static_cast<double>((entry >> 8) & 0xffu) / 255.0};
}

Rgb from_colour(const UTL_Color& c) {
    auto channel = [](int v) { return std::clamp(v, 0, 255) / 255.0; };
    return {channel(c.GetRed()), channel(c.GetGreen()), channel(c.GetBlue())};
}

double opacity_y(double a) {
    return kBottom - (kBottom - kTop) * a;
}

void text_at(cairo_t* cr, const std::string& text, double x, double y, double size, double anchor,
             bool bold = false) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - anchor * extents.x_advance, y);
    cairo_show_text(cr, text.c_str());
}

double text_width(cairo_t* cr, const std::string& text, double size) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

// A step of 1, 2 or 5 times a power of ten that cuts span into about `parts`.
double nice_step(double span, int parts) {
    const double rough = span / parts;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * power >= rough) {
            return m * power;
        }
    }
    return 10.0 * power;
}

std::string number_text(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::fabs(v) < 1e-9 ? 0.0 : v);
    return text;
}

// What the table shows at each column.
struct Columns {
    std::vector<long> raw;
    std::vector<double> position;  // the protocol's normalised value of raw
};

Columns sample_columns(const VxrpData& data, const VXR_VOLR_ColorProtocol& live) {
    Columns columns;
    const double n = static_cast<double>(data.Entries());
    const double start = live.GetStartRange();
    const auto range = static_cast<float>(static_cast<std::uint32_t>(
        static_cast<std::int64_t>(live.GetEndRange()) - live.GetStartRange()));
    for (int c = 0; c < kColumns; ++c) {
        const long raw = data.RawMin() + static_cast<long>(std::floor((c + 0.5) * n / kColumns));
        const double v = std::trunc(static_cast<double>(raw) * static_cast<double>(data.slope) +
                                    data.intercept) -
                         start;
        columns.raw.push_back(raw);
        columns.position.push_back(static_cast<float>(v / static_cast<double>(range)));
    }
    return columns;
}

cairo_status_t write_to_stream(void* closure, const unsigned char* data, unsigned int length) {
    auto* stream = static_cast<std::FILE*>(closure);
    return std::fwrite(data, 1, length, stream) == length ? CAIRO_STATUS_SUCCESS
                                                          : CAIRO_STATUS_WRITE_ERROR;
}

void draw_axes(cairo_t* cr, const VxrpData& data, bool rescaledAxis) {
    const double n = static_cast<double>(data.Entries());
    const double lo = rescaledAxis ? data.Rescaled(static_cast<double>(data.RawMin()))
                                   : static_cast<double>(data.RawMin());
    const double hi = rescaledAxis ? data.Rescaled(static_cast<double>(data.RawMax()))
                                   : static_cast<double>(data.RawMax());
    const double step = nice_step(hi - lo, 8);
    cairo_set_line_width(cr, 1.0);
    for (double v = std::ceil(lo / step) * step; v <= hi + step * 1e-9; v += step) {
        const double raw =
            rescaledAxis ? (v - data.intercept) / static_cast<double>(data.slope) : v;
        const double x = kLeft + (raw - static_cast<double>(data.RawMin()) + 0.5) * kColumns / n;
        if (x < kLeft || x > kLeft + kColumns) {
            continue;
        }
        const double px = std::floor(x) + 0.5;
        set_colour(cr, kGrid);
        cairo_move_to(cr, px, kTop);
        cairo_line_to(cr, px, kBottom);
        cairo_stroke(cr);
        set_colour(cr, kText);
        cairo_move_to(cr, px, kShadedBottom);
        cairo_line_to(cr, px, kShadedBottom + 5);
        cairo_stroke(cr);
        text_at(cr, number_text(v), px, kShadedBottom + 19, 11, 0.5);
    }
    for (int i = 0; i <= 4; ++i) {
        const double a = i / 4.0;
        const double py = std::floor(opacity_y(a)) + 0.5;
        set_colour(cr, kGrid);
        cairo_move_to(cr, kLeft, py);
        cairo_line_to(cr, kLeft + kColumns, py);
        cairo_stroke(cr);
        set_colour(cr, kText);
        text_at(cr, number_text(a), kLeft - 8, py + 4, 11, 1.0);
    }
    set_colour(cr, kText);
    text_at(cr,
            !rescaledAxis
                ? "raw stored value"
                : (data.hounsfield || data.intercept != 0 ? "Hounsfield units" : "rescaled value"),
            kLeft + kColumns / 2.0, kShadedBottom + 40, 12, 0.5);
    cairo_save(cr);
    cairo_translate(cr, 22, (kTop + kBottom) / 2.0);
    cairo_rotate(cr, -M_PI / 2);
    text_at(cr, "opacity", 0, 0, 12, 0.5);
    cairo_restore(cr);
}

void draw_legend(cairo_t* cr, VXR_VOLR_ColorProtocol& live, const std::vector<Rgb>& swatches) {
    double x = kLeft;
    double y = kHeight - 26;
    for (unsigned int i = 0; i < live.GetClassCount(); ++i) {
        const VXR_VOLR_ColorClass* cls = live.GetClass(static_cast<int>(i));
        std::string label = cls->GetName().utf8();
        if (label.empty()) {
            label = "class " + std::to_string(i + 1);
        }
        if (!cls->GetIsActive()) {
            label += " (off)";
        }
        const double width = 18 + text_width(cr, label, 11) + 18;
        if (x + width > kLeft + kColumns && x > kLeft) {
            x = kLeft;
            y += 17;
            if (y > kHeight - 4) {
                return;
            }
        }
        set_colour(cr, swatches[i]);
        cairo_rectangle(cr, x, y - 10, 12, 12);
        cairo_fill(cr);
        set_colour(cr, kText);
        text_at(cr, label, x + 18, y, 11, 0.0);
        x += width;
    }
}

}  // namespace

void VxrpDrawPlot(VxrpView& view, const std::string& title, bool rawAxis, VxrpOutput& out) {
    const VxrpData& data = view.Data();
    VXR_VOLR_ColorProtocol& live = view.Live();
    const unsigned int* table = view.Table();
    const Columns columns = sample_columns(data, live);
    const double factor =
        static_cast<double>(live.GetMaxOpacity()) * (live.GetIsDecreseOpMode() ? 0.2 : 1.0);

    const FontCacheRelease release;
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight));
    std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
    cairo_t* cr = context.get();
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        throw VxrpError(kVxrpFailed,
                        std::string("cannot draw: ") + cairo_status_to_string(cairo_status(cr)));
    }

    set_colour(cr, kBackground);
    cairo_paint(cr);
    set_colour(cr, kPlotBackground);
    cairo_rectangle(cr, kLeft, kTop, kColumns, kBottom - kTop);
    cairo_fill(cr);
    draw_axes(cr, data, !rawAxis && data.IsRescaled());

    // The colour bar: each entry's colour, and below it what the renderer
    // shows of it (the colour times its opacity, on black).
    for (int c = 0; c < kColumns; ++c) {
        const unsigned int entry = table[columns.raw[static_cast<std::size_t>(c)]];
        const Rgb colour = from_entry(entry);
        set_colour(cr, colour);
        cairo_rectangle(cr, kLeft + c, kBarTop, 1, kBarBottom - kBarTop);
        cairo_fill(cr);
        const double a = static_cast<double>(entry & 0xffu) / 255.0;
        set_colour(cr, {colour.r * a, colour.g * a, colour.b * a});
        cairo_rectangle(cr, kLeft + c, kShadedTop, 1, kShadedBottom - kShadedTop);
        cairo_fill(cr);
    }

    cairo_save(cr);
    cairo_rectangle(cr, kLeft, kTop - 2, kColumns, kBottom - kTop + 4);
    cairo_clip(cr);
    // Each active class: its opacity, filled faintly, then its curve in the
    // colour it has there.
    std::vector<Rgb> swatches;
    for (unsigned int i = 0; i < live.GetClassCount(); ++i) {
        const VXR_VOLR_ColorClass* cls = live.GetClass(static_cast<int>(i));
        const bool coloured = cls->GetColorPointCount() > 0;
        std::vector<double> ys(kColumns);
        std::vector<Rgb> colours(kColumns, Rgb{0.6, 0.6, 0.6});
        double peak = -1.0;
        Rgb swatch{0.6, 0.6, 0.6};
        for (std::size_t c = 0; c < static_cast<std::size_t>(kColumns); ++c) {
            const auto w = static_cast<float>(columns.position[c]);
            const double a =
                std::clamp(static_cast<double>(cls->GetRelativeOpacity(w)) * factor, 0.0, 1.0);
            ys[c] = opacity_y(a);
            if (coloured) {
                colours[c] = from_colour(cls->GetColor(w));
            }
            if (a > peak) {
                peak = a;
                swatch = colours[c];
            }
        }
        swatches.push_back(swatch);
        if (!cls->GetIsActive()) {
            continue;
        }
        for (std::size_t c = 0; c < static_cast<std::size_t>(kColumns); ++c) {
            set_colour(cr, colours[c], 0.18);
            cairo_rectangle(cr, kLeft + static_cast<double>(c), ys[c], 1, kBottom - ys[c]);
            cairo_fill(cr);
        }
        cairo_set_line_width(cr, 2.0);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        for (std::size_t c = 1; c < static_cast<std::size_t>(kColumns); ++c) {
            set_colour(cr, colours[c]);
            cairo_move_to(cr, kLeft + static_cast<double>(c) - 0.5, ys[c - 1]);
            cairo_line_to(cr, kLeft + static_cast<double>(c) + 0.5, ys[c]);
            cairo_stroke(cr);
        }
    }
    // The composite opacity of the table, on top.
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_set_line_width(cr, 1.5);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (std::size_t c = 0; c < static_cast<std::size_t>(kColumns); ++c) {
        const unsigned int entry = table[columns.raw[c]];
        const double y = opacity_y(static_cast<double>(entry & 0xffu) / 255.0);
        if (c == 0) {
            cairo_move_to(cr, kLeft + 0.5, y);
        } else {
            cairo_line_to(cr, kLeft + static_cast<double>(c) + 0.5, y);
        }
    }
    cairo_stroke(cr);
    cairo_restore(cr);

    set_colour(cr, kText);
    text_at(cr, title, kWidth / 2.0, 34, 16, 0.5, true);
    draw_legend(cr, live, swatches);

    cairo_surface_flush(surface.get());
    const cairo_status_t status =
        cairo_surface_write_to_png_stream(surface.get(), write_to_stream, out.Stream());
    if (status != CAIRO_STATUS_SUCCESS) {
        throw VxrpError(kVxrpCannotWrite,
                        "cannot write " + out.Path() + ": " + cairo_status_to_string(status));
    }
    out.Commit();
}
