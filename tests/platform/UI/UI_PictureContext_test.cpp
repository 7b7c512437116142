#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <utility>

#include "UI/UI_PictureContext.h"
#include "UI/UI_RecordingContext.h"

namespace {

const UTL_Color kBlack(0, 0, 0);
const UTL_Color kRed(255, 0, 0);

std::string temp_path(const std::string& name) {
    return testing::TempDir() + "ui_" + std::to_string(getpid()) + "_" + name;
}

// The pixels of the picture that differ from the background.
std::set<std::pair<int, int>> touched(const UI_PictureContext& picture) {
    std::set<std::pair<int, int>> set;
    for (int y = 0; y < picture.GetHeight(); ++y) {
        for (int x = 0; x < picture.GetWidth(); ++x) {
            if (picture.GetPixel(x, y) != kBlack) {
                set.emplace(x, y);
            }
        }
    }
    return set;
}

}  // namespace

TEST(UI_PictureContext, ALineSetsExactlyThePixelsItPassesThroughBothEndsIncluded) {
    struct Case {
        UTL_Point from;
        UTL_Point to;
        std::set<std::pair<int, int>> pixels;
    };
    const Case cases[] = {
        {{2, 3}, {6, 3}, {{2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}}},
        {{5, 1}, {5, 4}, {{5, 1}, {5, 2}, {5, 3}, {5, 4}}},
        {{1, 1}, {4, 4}, {{1, 1}, {2, 2}, {3, 3}, {4, 4}}},
        {{7, 7}, {7, 7}, {{7, 7}}},
        // Far outside on both sides: only the part inside the picture shows.
        {{INT_MIN, 2},
         {INT_MAX, 2},
         {{0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {7, 2}, {8, 2}, {9, 2}}},
        {{-50, -50}, {-20, 5}, {}},
    };
    for (const Case& c : cases) {
        UI_PictureContext picture(10, 10);
        ASSERT_TRUE(picture.IsValid());
        picture.SelectPen(kRed, 1, 0);
        picture.DrawLine(c.from, c.to);
        EXPECT_EQ(touched(picture), c.pixels);
        for (const auto& [x, y] : c.pixels) {
            EXPECT_EQ(picture.GetPixel(x, y), kRed);
        }
    }
}

TEST(UI_PictureContext, DrawColourReplacesThePenColourAndBackgroundFills) {
    UI_PictureContext picture(4, 4, UTL_Color(10, 20, 30), 3);
    EXPECT_EQ(picture.GetContextKind(), 3);
    EXPECT_EQ(picture.GetPixel(3, 3), UTL_Color(10, 20, 30));
    EXPECT_EQ(picture.GetPixel(4, 0), UTL_Color(-1, -1, -1));
    picture.SelectPen(kRed, 1, 0);
    picture.SetDrawColor(UTL_Color(0, 0, 255));
    picture.DrawLine({0, 0}, {0, 0});
    EXPECT_EQ(picture.GetPixel(0, 0), UTL_Color(0, 0, 255));
}

TEST(UI_PictureContext, SavedPictureReadsBackPixelForPixel) {
    UI_PictureContext picture(31, 17, UTL_Color(5, 6, 7));
    picture.SelectPen(UTL_Color(250, 128, 3), 1, 0);
    picture.DrawLine({0, 0}, {30, 16});
    picture.SelectPen(UTL_Color(1, 255, 9), 2, 1);
    picture.DrawLine({30, 0}, {0, 16});
    picture.SelectFont("DejaVu Sans", 120, 0, 1.0f);
    picture.DrawText({2, 14}, "VOI");
    const std::string path = temp_path("roundtrip.png");
    std::string error;
    ASSERT_TRUE(picture.SaveAsPng(path, &error)) << error;
    UI_Picture read;
    ASSERT_TRUE(UI_ReadPng(path, read, &error)) << error;
    std::remove(path.c_str());
    ASSERT_EQ(read.width, 31);
    ASSERT_EQ(read.height, 17);
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 31; ++x) {
            ASSERT_EQ(read.At(x, y), picture.GetPixel(x, y)) << x << "," << y;
        }
    }
}

TEST(UI_PictureContext, PicturesThatCannotBeMadeWrittenOrReadAreClearErrors) {
    std::string error;
    UI_PictureContext picture(8, 8);
    EXPECT_FALSE(picture.SaveAsPng(temp_path("missing-dir/x.png"), &error));
    EXPECT_NE(error.find("missing-dir/x.png"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(picture.SaveAsPng(testing::TempDir(), &error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;

    for (const auto& [w, h] : {std::pair{0, 5}, {5, -1}, {UI_PictureContext::kMaxSide + 1, 1}}) {
        UI_PictureContext invalid(w, h);
        EXPECT_FALSE(invalid.IsValid());
        invalid.DrawLine({0, 0}, {1, 1});
        EXPECT_EQ(invalid.GetPixel(0, 0), UTL_Color(-1, -1, -1));
        const std::string path = temp_path("invalid.png");
        EXPECT_FALSE(invalid.SaveAsPng(path, &error));
        EXPECT_NE(error.find("could be made"), std::string::npos) << error;
        EXPECT_EQ(std::fopen(path.c_str(), "rb"), nullptr);
    }

    UI_Picture read;
    read.width = 3;
    EXPECT_FALSE(UI_ReadPng(temp_path("absent.png"), read, &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    const std::string text = temp_path("not-a-png.png");
    std::ofstream(text) << "plain text, not a picture";
    EXPECT_FALSE(UI_ReadPng(text, read, &error));
    EXPECT_NE(error.find(text), std::string::npos) << error;
    std::remove(text.c_str());
    EXPECT_EQ(read.width, 3);  // untouched on failure
}

TEST(UI_RecordingContext, RecordsEveryCallReadably) {
    UI_RecordingContext dc(4);
    dc.PrepareDrawing();
    dc.SelectPen(UTL_Color(1, 2, 3), 4, 5);
    dc.DrawLine({-1, 2}, {3, -4});
    dc.SelectFont("Schrift \xc3\xa4", 90, 1, 0.75f);
    dc.SetDrawColor(UTL_Color(7, 8, 9));
    EXPECT_EQ(dc.GetContextKind(), 4);
    EXPECT_EQ(dc.Dump(), (std::vector<std::string>{
                             "PrepareDrawing()",
                             "SelectPen((1,2,3), 4, 5)",
                             "DrawLine((-1,2), (3,-4))",
                             "SelectFont(\"Schrift \xc3\xa4\", 90, 1, 0.75)",
                             "SetDrawColor((7,8,9))",
                             "GetContextKind() -> 4",
                         }));
    ASSERT_EQ(dc.Lines().size(), 1u);
    EXPECT_EQ(dc.Lines()[0].second, UTL_Point(3, -4));
    dc.Clear();
    EXPECT_TRUE(dc.Calls().empty());
}
