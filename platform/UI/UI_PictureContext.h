#pragma once

#include <string>
#include <vector>

#include "UI/UI_DrawingContextInterface.h"

struct _cairo;
struct _cairo_surface;

// UI_PictureContext - a drawing context that really draws, into an opaque RGB
// picture held in memory, and saves it as PNG. The host uses it to show
// overlays without a window; tests read its pixels.
//
// Geometry follows UI_DrawingContextInterface: pixels, y downward. Lines are
// drawn without smoothing, so a line of width 1 sets exactly the pixels it
// passes through to the current colour, its two end pixels included; nothing
// else changes. Lines may reach far outside the picture (any int coordinate):
// they are clipped before drawing. Text (DrawText, an addition of this context)
// is smoothed.
//
// A picture is 1 to 16384 pixels in each direction. For any other size, or
// when memory for it runs out, the context is invalid (IsValid false): drawing
// does nothing and SaveAsPng fails with that reason.
class UI_PictureContext : public UI_DrawingContextInterface {
  public:
    static constexpr int kMaxSide = 16384;

    // A picture filled with background; GetContextKind answers kind.
    UI_PictureContext(int width, int height, UTL_Color background = UTL_Color(0, 0, 0),
                      int kind = 0);
    ~UI_PictureContext() override;

    bool IsValid() const { return m_pCairo != nullptr; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }

    void PrepareDrawing() override;
    void SelectPen(const UTL_Color& colour, int width, int style) override;
    void DrawLine(UTL_Point from, UTL_Point to) override;
    void SelectFont(const _bstr_t& name, int size10, int weight, float aspect) override;
    void SetDrawColor(UTL_Color colour) override;
    int GetContextKind() override { return m_nKind; }

    // Writes text in the current font and colour, its baseline starting at `at`.
    void DrawText(UTL_Point at, const _bstr_t& text);

    // The colour of pixel (x, y); (-1, -1, -1) outside the picture.
    UTL_Color GetPixel(int x, int y) const;

    // Writes the picture as an 8-bit RGB PNG. False with a message naming the
    // path and the reason (missing directory, no permission, full disk, invalid
    // picture) when it cannot; a partly written file is removed.
    bool SaveAsPng(const std::string& path, std::string* error) const;

  private:
    void apply_colour();

    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nKind = 0;
    UTL_Color m_Colour;
    _cairo_surface* m_pSurface = nullptr;
    _cairo* m_pCairo = nullptr;
};

// A picture read back from a PNG file, one colour per pixel, row by row from
// the top.
struct UI_Picture {
    int width = 0;
    int height = 0;
    std::vector<UTL_Color> pixels;

    // The colour of pixel (x, y); (-1, -1, -1) outside the picture.
    UTL_Color At(int x, int y) const;
};

// Reads a PNG file (any PNG that the graphics library reads: grey, RGB, with or
// without alpha; alpha is dropped). False with a message naming the path and
// the reason when it cannot; out is then left unchanged.
bool UI_ReadPng(const std::string& path, UI_Picture& out, std::string* error);
