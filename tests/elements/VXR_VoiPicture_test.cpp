#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "GRA/GRA_GeneralParams.h"
#include "UI/UI_PictureContext.h"
#include "elements/VXR_FreeVoi.h"
#include "elements/VXR_OvalVoi.h"
#include "elements/VXR_RectVoi.h"

// The three shapes drawn for real, written to a PNG and checked by the pixels
// read back from the file: the outline in the element's pen colour (the
// highlight colour of the screen's settings), inside and outside untouched.
TEST(VXR_VoiPicture, ShapesDrawnIntoAPictureShowTheirOutlinesOnly) {
    GRA_GeneralParams::ResetAll();
    const UTL_Color pen = GRA_GeneralParams::GetGeneralParams(0).GetHighlightColor();
    const UTL_Color background(0, 0, 0);
    ASSERT_NE(pen, background);

    UI_PictureContext dc(200, 160, background, 0);
    VXR_RectVoiPlus rect(20, 20);
    rect.Resize(80, 60);
    VXR_OvalVoiMinus oval(100, 20);
    oval.Resize(180, 80);
    VXR_FreeVoi free(20, 100);
    free.MoveEndPoint(60, 140);
    free.AddPoint(100, 100);
    for (VXR_Voi* voi : {static_cast<VXR_Voi*>(&rect), static_cast<VXR_Voi*>(&oval),
                         static_cast<VXR_Voi*>(&free)}) {
        voi->Draw(nullptr, nullptr, &dc, false, false, 0, true);
    }
    const std::string path =
        testing::TempDir() + "voi_picture_" + std::to_string(getpid()) + ".png";
    std::string error;
    ASSERT_TRUE(dc.SaveAsPng(path, &error)) << error;
    UI_Picture picture;
    ASSERT_TRUE(UI_ReadPng(path, picture, &error)) << error;
    std::remove(path.c_str());

    struct Probe {
        int x;
        int y;
        bool outline;
        const char* what;
    };
    const Probe probes[] = {
        {50, 20, true, "rectangle top edge"},
        {80, 45, true, "rectangle right edge"},
        {17, 20, true, "left side of the anchor's square"},
        {77, 57, true, "top-left corner of P2's square"},
        {50, 40, false, "inside the rectangle"},
        {5, 5, false, "outside everything"},
        {180, 50, true, "oval's right end"},
        {140, 20, true, "oval's top"},
        {140, 80, true, "oval's bottom"},
        {140, 50, false, "oval's centre"},
        {110, 25, false, "between the oval and its corner"},
        {40, 120, true, "free-hand first segment"},
        {80, 120, true, "free-hand second segment"},
        {60, 100, false, "where a closing segment would run"},
        {60, 130, false, "inside the free-hand V"},
        {199, 159, false, "bottom-right pixel"},
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(picture.At(p.x, p.y), p.outline ? pen : background) << p.what;
    }
}
