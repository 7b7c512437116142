#include "UI/UI_PictureContext.h"

#include <cairo.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Lines are clipped to the picture widened by this margin, so that cairo's
// fixed-point coordinates never see the far ends of a huge line.
constexpr double kClipMargin = 16.0;

struct PngStream {
    std::FILE* file = nullptr;
    int error = 0;
};

cairo_status_t write_chunk(void* closure, const unsigned char* data, unsigned int length) {
    auto* stream = static_cast<PngStream*>(closure);
    if (std::fwrite(data, 1, length, stream->file) != length) {
        stream->error = errno != 0 ? errno : EIO;
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

cairo_status_t read_chunk(void* closure, unsigned char* data, unsigned int length) {
    auto* stream = static_cast<PngStream*>(closure);
    if (std::fread(data, 1, length, stream->file) != length) {
        stream->error = std::ferror(stream->file) ? (errno != 0 ? errno : EIO) : 0;
        return CAIRO_STATUS_READ_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

void set_error(std::string* error, const std::string& text) {
    if (error != nullptr) {
        *error = text;
    }
}

// Clips the segment p0-p1 to [lo, hi] in both directions (Liang-Barsky).
// False when nothing of it is left.
bool clip_segment(double& x0, double& y0, double& x1, double& y1, double xlo, double ylo,
                  double xhi, double yhi) {
    double t0 = 0.0;
    double t1 = 1.0;
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - xlo, xhi - x0, y0 - ylo, yhi - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) {
                return false;
            }
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) {
            return false;
        }
    }
    const double sx = x0;
    const double sy = y0;
    x0 = sx + t0 * dx;
    y0 = sy + t0 * dy;
    x1 = sx + t1 * dx;
    y1 = sy + t1 * dy;
    return true;
}

UTL_Color pixel_colour(const unsigned char* data, int stride, int x, int y) {
    std::uint32_t word = 0;
    std::memcpy(&word, data + static_cast<std::ptrdiff_t>(y) * stride + x * 4, sizeof word);
    return UTL_Color(static_cast<int>((word >> 16) & 0xffu), static_cast<int>((word >> 8) & 0xffu),
                     static_cast<int>(word & 0xffu));
}

double channel(int value) {
    return std::clamp(value, 0, 255) / 255.0;
}

}  // namespace

UI_PictureContext::UI_PictureContext(int width, int height, UTL_Color background, int kind)
    : m_nWidth(width), m_nHeight(height), m_nKind(kind) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        return;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return;
    }
    cairo_t* cr = cairo_create(surface);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        return;
    }
    m_pSurface = surface;
    m_pCairo = cr;
    cairo_set_source_rgb(cr, channel(background.GetRed()), channel(background.GetGreen()),
                         channel(background.GetBlue()));
    cairo_paint(cr);
    PrepareDrawing();
}

UI_PictureContext::~UI_PictureContext() {
    if (m_pCairo != nullptr) {
        cairo_destroy(m_pCairo);
    }
    if (m_pSurface != nullptr) {
        cairo_surface_destroy(m_pSurface);
    }
}

void UI_PictureContext::PrepareDrawing() {
    if (m_pCairo == nullptr) {
        return;
    }
    cairo_set_antialias(m_pCairo, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(m_pCairo, 1.0);
    cairo_set_line_cap(m_pCairo, CAIRO_LINE_CAP_SQUARE);
    cairo_set_line_join(m_pCairo, CAIRO_LINE_JOIN_MITER);
    cairo_set_dash(m_pCairo, nullptr, 0, 0.0);
    apply_colour();
}

void UI_PictureContext::apply_colour() {
    cairo_set_source_rgb(m_pCairo, channel(m_Colour.GetRed()), channel(m_Colour.GetGreen()),
                         channel(m_Colour.GetBlue()));
}

void UI_PictureContext::SelectPen(const UTL_Color& colour, int width, int style) {
    m_Colour = colour;
    if (m_pCairo == nullptr) {
        return;
    }
    cairo_set_line_width(m_pCairo, static_cast<double>(std::clamp(width, 1, 64)));
    static const double kDashed[] = {4.0, 4.0};
    static const double kDotted[] = {1.0, 2.0};
    if (style == 1) {
        cairo_set_dash(m_pCairo, kDashed, 2, 0.0);
    } else if (style == 2) {
        cairo_set_dash(m_pCairo, kDotted, 2, 0.0);
    } else {
        cairo_set_dash(m_pCairo, nullptr, 0, 0.0);
    }
    apply_colour();
}

void UI_PictureContext::DrawLine(UTL_Point from, UTL_Point to) {
    if (m_pCairo == nullptr) {
        return;
    }
    // Pixel (x, y) is the square [x, x+1) x [y, y+1): a line through pixel
    // centres with square caps covers both end pixels.
    if (from == to) {
        // A zero-length stroke draws nothing in cairo; the pen's dot does.
        if (from.x < 0 || from.y < 0 || from.x >= m_nWidth || from.y >= m_nHeight) {
            return;
        }
        const double w = cairo_get_line_width(m_pCairo);
        const double h = (w - 1.0) / 2.0;
        cairo_rectangle(m_pCairo, from.x - std::floor(h), from.y - std::floor(h), std::floor(w),
                        std::floor(w));
        cairo_fill(m_pCairo);
        return;
    }
    double x0 = from.x + 0.5;
    double y0 = from.y + 0.5;
    double x1 = to.x + 0.5;
    double y1 = to.y + 0.5;
    if (!clip_segment(x0, y0, x1, y1, -kClipMargin, -kClipMargin, m_nWidth + kClipMargin,
                      m_nHeight + kClipMargin)) {
        return;
    }
    cairo_move_to(m_pCairo, x0, y0);
    cairo_line_to(m_pCairo, x1, y1);
    cairo_stroke(m_pCairo);
}

void UI_PictureContext::SelectFont(const _bstr_t& name, int size10, int weight, float aspect) {
    if (m_pCairo == nullptr) {
        return;
    }
    const std::string family = name.utf8();
    cairo_select_font_face(m_pCairo, family.empty() ? "sans-serif" : family.c_str(),
                           CAIRO_FONT_SLANT_NORMAL,
                           weight == 0 ? CAIRO_FONT_WEIGHT_NORMAL : CAIRO_FONT_WEIGHT_BOLD);
    const double size = std::clamp(size10 / 10.0, 1.0, 1000.0);
    double factor = static_cast<double>(aspect);
    if (!(factor > 0.01 && factor < 100.0)) {  // also NaN
        factor = 1.0;
    }
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, size * factor, size);
    cairo_set_font_matrix(m_pCairo, &matrix);
}

void UI_PictureContext::SetDrawColor(UTL_Color colour) {
    m_Colour = colour;
    if (m_pCairo != nullptr) {
        apply_colour();
    }
}

void UI_PictureContext::DrawText(UTL_Point at, const _bstr_t& text) {
    if (m_pCairo == nullptr || text.empty()) {
        return;
    }
    const std::string utf8 = text.utf8();
    cairo_save(m_pCairo);
    cairo_set_antialias(m_pCairo, CAIRO_ANTIALIAS_DEFAULT);
    cairo_move_to(m_pCairo, at.x, at.y);
    cairo_show_text(m_pCairo, utf8.c_str());
    cairo_new_path(m_pCairo);
    cairo_restore(m_pCairo);
}

UTL_Color UI_PictureContext::GetPixel(int x, int y) const {
    if (m_pSurface == nullptr || x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight) {
        return UTL_Color(-1, -1, -1);
    }
    cairo_surface_flush(m_pSurface);
    return pixel_colour(cairo_image_surface_get_data(m_pSurface),
                        cairo_image_surface_get_stride(m_pSurface), x, y);
}

bool UI_PictureContext::SaveAsPng(const std::string& path, std::string* error) const {
    const std::string prefix = "cannot write picture to '" + path + "': ";
    if (m_pSurface == nullptr) {
        set_error(error, prefix + "no picture of " + std::to_string(m_nWidth) + " x " +
                             std::to_string(m_nHeight) + " pixels could be made");
        return false;
    }
    cairo_surface_flush(m_pSurface);
    PngStream stream;
    stream.file = std::fopen(path.c_str(), "wb");
    if (stream.file == nullptr) {
        set_error(error, prefix + std::strerror(errno));
        return false;
    }
    const cairo_status_t status =
        cairo_surface_write_to_png_stream(m_pSurface, write_chunk, &stream);
    const bool closed = std::fclose(stream.file) == 0;
    if (status != CAIRO_STATUS_SUCCESS || !closed) {
        const int code = stream.error != 0 ? stream.error : (closed ? 0 : errno);
        set_error(error,
                  prefix + (code != 0 ? std::strerror(code) : cairo_status_to_string(status)));
        std::remove(path.c_str());
        return false;
    }
    return true;
}

UTL_Color UI_Picture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        return UTL_Color(-1, -1, -1);
    }
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
}

bool UI_ReadPng(const std::string& path, UI_Picture& out, std::string* error) {
    const std::string prefix = "cannot read picture '" + path + "': ";
    PngStream stream;
    stream.file = std::fopen(path.c_str(), "rb");
    if (stream.file == nullptr) {
        set_error(error, prefix + std::strerror(errno));
        return false;
    }
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(read_chunk, &stream);
    std::fclose(stream.file);
    const cairo_status_t status = cairo_surface_status(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        set_error(error, prefix + (stream.error != 0 ? std::strerror(stream.error)
                                                     : cairo_status_to_string(status)));
        return false;
    }
    // Grey and palette pictures come back in other formats; draw them onto
    // one of ours so that every pixel reads the same way.
    cairo_surface_t* rgb =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, cairo_image_surface_get_width(surface),
                                   cairo_image_surface_get_height(surface));
    cairo_t* cr = cairo_create(rgb);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    if (!ok || cairo_surface_status(rgb) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(rgb);
        set_error(error, prefix + "out of memory");
        return false;
    }
    cairo_surface_flush(rgb);
    UI_Picture picture;
    picture.width = cairo_image_surface_get_width(rgb);
    picture.height = cairo_image_surface_get_height(rgb);
    picture.pixels.reserve(static_cast<std::size_t>(picture.width) *
                           static_cast<std::size_t>(picture.height));
    const unsigned char* data = cairo_image_surface_get_data(rgb);
    const int stride = cairo_image_surface_get_stride(rgb);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            picture.pixels.push_back(pixel_colour(data, stride, x, y));
        }
    }
    cairo_surface_destroy(rgb);
    out = std::move(picture);
    return true;
}
