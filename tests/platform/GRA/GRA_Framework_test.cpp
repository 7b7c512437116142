#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "GRA/GRA_ElementSet.h"
#include "GRA/GRA_GeneralParams.h"
#include "GRA/GRA_UserElement.h"
#include "IP/IP_Matrix.h"
#include "UI/UI_RecordingContext.h"

namespace {

// A user element that records which detection steps the framework asked for.
class ProbeElement : public GRA_UserElement {
  public:
    ProbeElement() = default;
    ProbeElement(const ProbeElement&) = default;
    using GRA_UserElement::operator=;

    GRA_BaseGraphicElement* Clone() override { return new (std::nothrow) ProbeElement(*this); }
    void Draw(UTL_BaseParamsVec*, UTL_BaseParamsVec*, UI_DrawingContextInterface*, bool, bool, int,
              bool) override {}

    int vertexStrength = 0;
    int surfaceStrength = 0;
    std::vector<std::string> asked;

  protected:
    void is_element_chosen_by_vertex(float* const, float, GRA_Mode, int, float* const, float,
                                     UTL_BaseParamsVec*) override {
        asked.push_back("vertex");
        SetDetectStrength(vertexStrength);
    }
    void is_element_chosen_by_surface(float* const, float, GRA_Mode, int n, float* const, float,
                                      UTL_BaseParamsVec*) override {
        asked.push_back("surface");
        SetDetectStrength(surfaceStrength);
        SetDetectMode(n);
    }
};

class Framework : public testing::Test {
  protected:
    void TearDown() override { GRA_GeneralParams::ResetAll(); }
};

}  // namespace

TEST_F(Framework, LittleSquareIsTheOutlineOfTheKindsVertexSize) {
    GRA_GeneralParams::GetGeneralParams(1).SetHalfVertexSize(1);
    ProbeElement element;
    UI_RecordingContext dc(1);
    element.DrawLittleSquare(&dc, UTL_Point(5, 5), true);
    EXPECT_EQ(dc.Dump(),
              (std::vector<std::string>{
                  "GetContextKind() -> 1", "DrawLine((4,4), (6,4))", "DrawLine((6,4), (6,6))",
                  "DrawLine((6,6), (4,6))", "DrawLine((4,6), (4,4))",
                  "DrawLine((4,5), (6,5))",  // filled: the inner row
              }));
    dc.Clear();
    GRA_GeneralParams::GetGeneralParams(1).SetHalfVertexSize(INT_MAX);  // taken as 1024
    element.DrawLittleSquare(&dc, UTL_Point(INT_MAX, INT_MIN), false);
    EXPECT_EQ(dc.Lines()[0],
              (std::make_pair(UTL_Point(INT_MAX - 1024, INT_MIN), UTL_Point(INT_MAX, INT_MIN))));
    element.DrawLittleSquare(nullptr, UTL_Point(0, 0), true);
    // An unknown kind uses the screen's settings.
    GRA_GeneralParams::GetGeneralParams(-7).SetHalfVertexSize(9);
    EXPECT_EQ(GRA_GeneralParams::GetGeneralParams(0).GetHalfVertexSize(), 9);
}

TEST_F(Framework, PenFollowsSelectionHighlightAndPreview) {
    const GRA_GeneralParamsData& data = GRA_GeneralParams::GetGeneralParams(0);
    struct Case {
        int selected, highlight, preview;
        UTL_Color colour;
        int style;
    };
    const Case cases[] = {
        {0, 0, 0, data.GetNormalColor(), 0},
        {1, 0, 0, data.GetSelectedColor(), 0},
        {0, 1, 0, data.GetHighlightColor(), 0},
        {1, 1, 1, data.GetHighlightColor(), 1},
    };
    for (const Case& c : cases) {
        UTL_Color colour;
        int width = -1;
        int style = -1;
        data.GetPenParams(colour, width, style, c.selected, c.highlight, c.preview);
        EXPECT_EQ(colour, c.colour);
        EXPECT_EQ(width, 1);
        EXPECT_EQ(style, c.style);
    }
}

TEST_F(Framework, CopyTakesTheLookButNeitherCodeNorCounter) {
    ProbeElement a;
    ProbeElement b;
    b.SetElementType(231);
    b.SetColor(UTL_Color(1, 2, 3), true);
    b.SetHidden(true);
    b.Select(true, true);
    b.SetDeferColor(true);
    a.Copy(&b);
    EXPECT_EQ(a.GetColor(), UTL_Color(1, 2, 3));
    EXPECT_TRUE(a.GetHidden());
    EXPECT_EQ(a.GetProperty(), GRA_BaseElement::SELECTED | GRA_BaseElement::HIGHLIGHTED);
    EXPECT_TRUE(a.GetDeferColor());
    EXPECT_EQ(a.GetElementType(), GRA_BaseGraphicElement::kUndefinedType);
    EXPECT_EQ(*a, 0);
    a.Defrost(&b);
    EXPECT_EQ(*a, 1);
    ProbeElement c(b);  // the copy constructor takes everything
    EXPECT_EQ(c.GetElementType(), 231);
    EXPECT_EQ(*c, 1);
    b.Select(false, false);
    EXPECT_EQ(b.GetProperty(), GRA_BaseElement::HIGHLIGHTED);
}

TEST_F(Framework, CursorsAndDetectionFollowTheElementsState) {
    ProbeElement element;
    element.SetHeldCursor(4, GRA_CURSOR_SIZE);
    EXPECT_EQ(element.get_ModeCursor(4), GRA_CURSOR_SIZE);
    EXPECT_EQ(element.get_ModeCursor(99), GRA_CURSOR_ARROW);
    element.SetHidden(true);
    EXPECT_EQ(element.get_ModeCursor(4), GRA_CURSOR_ARROW);
    EXPECT_EQ(element.GetHeldCursor(4), GRA_CURSOR_SIZE);

    float point[3] = {0, 0, 0};
    element.vertexStrength = 7;
    EXPECT_EQ(element.DetectElement(nullptr, 0, 0, 4, point, 1.0f, nullptr), 7);
    EXPECT_EQ(element.asked, (std::vector<std::string>{"vertex"}));
    element.asked.clear();
    element.vertexStrength = 0;
    element.surfaceStrength = 5;
    EXPECT_EQ(element.DetectElement(nullptr, 0, 0, 4, point, 1.0f, nullptr), 5);
    EXPECT_EQ(element.asked, (std::vector<std::string>{"vertex", "surface"}));
    EXPECT_EQ(element.GetDetectMode(), 4);
}

TEST_F(Framework, ElementSetOwnsCopiesAndDrawsItsLinesThroughTheMatrix) {
    GRA_ElementSet set;
    set.AddElement(new GRA_LineElement(IP_3Coord(0, 0, 0), IP_3Coord(1, 0, 0), "a",
                                       UTL_Color(255, 0, 0), GRA_BaseElement::SELECTED, 0, 0,
                                       true));
    set.AddElement(new GRA_LineElement(IP_3Coord(0, 1, 0), IP_3Coord(1.99f, 1, 5), "",
                                       UTL_Color(0, 0, 255), GRA_BaseElement::NO_PROPERTY, 1, 0,
                                       false));
    set.AddElement(nullptr);
    ASSERT_EQ(set.GetCount(), 2u);

    GRA_ElementSet copy(set);
    copy.GetElement(0)->SetCoord(IP_3Coord(9, 9, 9), IP_3Coord(9, 9, 9));
    EXPECT_EQ(set.GetElement(0)->GetFrom().x, 0.0f);

    float m[4][4];
    IP_Midnt(m);
    m[0][0] = 10.0f;  // x scaled by 10
    m[1][1] = 10.0f;
    IP_Mtranslate(m, 5.0f, 0.0f, 0.0f);
    UI_RecordingContext dc(0);
    set.Draw(nullptr, &dc, m, false, false);
    EXPECT_EQ(dc.Dump(), (std::vector<std::string>{
                             "GetContextKind() -> 0", "SelectPen((255,0,0), 1, 0)",
                             "DrawLine((5,0), (15,0))", "SelectPen((0,0,255), 1, 0)",
                             "DrawLine((5,10), (24,10))",  // 24.9 truncates
                         }));
    set.SetColor(UTL_Color(1, 1, 1));
    EXPECT_EQ(set.GetElement(1)->GetColor(), UTL_Color(1, 1, 1));
    EXPECT_THROW(set.GetElement(2), RWBoundsErr);

    copy = set;
    EXPECT_EQ(copy.GetCount(), 2u);
    EXPECT_EQ(copy.GetElement(1)->GetColor(), UTL_Color(1, 1, 1));
    copy = copy;
    EXPECT_EQ(copy.GetCount(), 2u);
    EXPECT_EQ(copy.GetElement(0)->GetLabel(), _bstr_t("a"));
}
