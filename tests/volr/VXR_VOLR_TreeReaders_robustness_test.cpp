// Randomised robustness tests of the three tree readers (class, opacity graph,
// colour point). Configuration trees come from outside the process, so every
// reader must cope with whatever a damaged or hand-edited file holds: a read
// either succeeds or raises _com_error / RWBoundsErr, and a class that was read
// must behave like any other class (evaluate, copy, export, read back equal).
//
// The generator is seeded with a fixed value so that a failure reproduces; the
// failing tree is printed with the iteration that made it.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CFG/CFG_ITree.h"
#include "COM/COM_BStr.h"
#include "COM/COM_Error.h"
#include "I18n/I18n_ConvertUtils.h"
#include "RW/RW_Errors.h"
#include "VXR_VOLR_ColorClass.h"
#include "VXR_VOLR_TrapezeOpacityGraph.h"
#include "support/LogExpectations.h"
#include "support/TreeHelpers.h"

namespace {

using vxrp_test::NewTree;

using Class = VXR_VOLR_ColorClass;
using Graph = VXR_VOLR_TrapezeOpacityGraph;
using CPoint = VXR_VOLR_ColorPoint;
using OPoint = VXR_VOLR_OpacityPoint;

constexpr std::uint32_t kSeed = 20261208u;
// Trees per reader: enough to meet every odd case many times over, few enough
// for the sanitizer build to stay quick (tree operations dominate the cost).
constexpr int kClassTrees = 700;
constexpr int kGraphTrees = 700;
constexpr int kPointTrees = 1200;

// Bit-equal, except that any two NaNs count as equal (the text "nan" does not
// keep a NaN's sign or payload).
bool SameFloat(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b);
    }
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// What a float stored at the given precision reads back as.
float StoredAt(float value, int precision) {
    const std::string text =
        I18n_ConvertUtils::Double2DicomLocaleStrNum(static_cast<double>(value), precision);
    return static_cast<float>(I18n_ConvertUtils::DicomLocaleStrNum2Double(text));
}

std::string U8(const _bstr_t& text) {
    return text.utf8();
}

bool BeginsWith(const _bstr_t& text, std::u16string_view prefix) {
    return text.view().substr(0, prefix.size()) == prefix;
}

// Runs one read (or any other step) and sorts its outcome: the two errors a
// reader may raise are answers, everything else is a fault.
enum class Outcome { Ok, ComError, BoundsError, Other };

template <class F>
Outcome Attempt(F&& step, std::string& what) {
    try {
        step();
        return Outcome::Ok;
    } catch (const _com_error&) {
        return Outcome::ComError;
    } catch (const RWBoundsErr&) {
        return Outcome::BoundsError;
    } catch (const std::exception& e) {
        what = e.what();
        return Outcome::Other;
    } catch (...) {
        what = "(not a std::exception)";
        return Outcome::Other;
    }
}

// --- the generator ------------------------------------------------------------

class TreeGenerator {
  public:
    explicit TreeGenerator(std::uint32_t seed) : m_Rng(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_Rng); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <class T>
    const T& Pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(Below(static_cast<int>(items.size())))];
    }

    // A number text: mostly plain values in (and a little beyond) 0..1, now and
    // then one a reader has to survive.
    std::string NumberText() {
        if (Chance(80)) {
            const double v = std::uniform_real_distribution<double>(-0.2, 1.2)(m_Rng);
            return I18n_ConvertUtils::Double2DicomLocaleStrNum(v, 1 + Below(12));
        }
        return Pick(OddTexts());
    }

    _bstr_t OddName() {
        if (Chance(10)) {
            return _bstr_t(
                ("point" + std::string(static_cast<std::size_t>(1 + Below(100)), '0') + "1_x")
                    .c_str());
        }
        if (Chance(5)) {
            return _bstr_t(std::string(static_cast<std::size_t>(200 + Below(300)), 'n').c_str());
        }
        if (Chance(5)) {
            return _bstr_t(u"point0\xD800_x");  // a lone surrogate
        }
        return _bstr_t(Pick(OddNames()).c_str());
    }

    _bstr_t AnyValueName() {
        if (Chance(60)) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "point%.2d_%c", 1 + Below(12), Chance(50) ? 'x' : 'y');
            return _bstr_t(buf);
        }
        if (Chance(60)) {
            return _bstr_t(Pick(ValidNames()).c_str());
        }
        return OddName();
    }

    // Writes a value of a random kind and content; names the tree rejects
    // (empty, with an empty path part) are a tree error, not the reader's.
    void PutRandomValue(const CFG_ITreePtr& tree, const _bstr_t& name) {
        try {
            if (Chance(30)) {
                tree->SetInt(name, Pick(OddInts()));
            } else if (Chance(80)) {
                tree->SetString(name, _bstr_t(NumberText().c_str()));
            } else {
                tree->SetString(name, _bstr_t(Pick(OddTexts()).c_str()));
            }
        } catch (const _com_error&) {
        }
    }

    void AddChild(const CFG_ITreePtr& parent, const CFG_ITreePtr& child, const _bstr_t& name) {
        try {
            child->SetNodeName("", name);
            parent->AddSubTree("", child);
        } catch (const _com_error&) {
            // An empty name or one taken by a sibling: the child is left out.
        }
    }

    // A node of random values and random children, depth levels deep at most.
    CFG_ITreePtr JunkTree(int depth) {
        CFG_ITreePtr tree = NewTree();
        const int values = Below(4);
        for (int i = 0; i < values; ++i) {
            PutRandomValue(tree, AnyValueName());
        }
        if (depth > 0 && Chance(40)) {
            AddChild(tree, JunkTree(depth - 1), Chance(50) ? AnyValueName() : ChildName());
        }
        return tree;
    }

    _bstr_t ChildName() {
        if (Chance(70)) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "color_point%.2d", 1 + Below(12));
            return _bstr_t(buf);
        }
        static const std::vector<std::string> names = {
            "color_point", "color_pointX", "Color_point01", "colorpoint01",
            "op_graph",    "OP_GRAPH",     "child",         "color_point\xC3\xA9"};
        return _bstr_t(Pick(names).c_str());
    }

    CFG_ITreePtr GraphTree(int depth) {
        CFG_ITreePtr tree = NewTree();
        const bool wellFormed = Chance(60);
        const int points = Below(wellFormed ? 7 : 10);
        for (int k = 1; k <= points; ++k) {
            const int number = Chance(5) ? 95 + Below(10) : k;  // crosses into three digits
            char x[32];
            char y[32];
            std::snprintf(x, sizeof x, "point%.2d_x", number);
            std::snprintf(y, sizeof y, "point%.2d_y", number);
            if (wellFormed || Chance(85)) {
                PutNumber(tree, x, wellFormed);
            }
            if (wellFormed || Chance(85)) {
                PutNumber(tree, y, wellFormed);
            }
        }
        if (wellFormed ? Chance(90) : Chance(60)) {
            PutNumber(tree, "max_opacity", wellFormed);
        }
        if (!wellFormed) {
            const int extra = Below(5);
            for (int i = 0; i < extra; ++i) {
                PutRandomValue(tree, Chance(50) ? OddName() : AnyValueName());
            }
            if (depth > 0 && Chance(30)) {
                AddChild(tree, JunkTree(depth - 1), AnyValueName());
            }
        }
        return tree;
    }

    // inWellFormedClass: the point of a well-formed class is nearly always
    // well-formed itself, so that enough classes read through to the end.
    CFG_ITreePtr PointTree(int depth, bool inWellFormedClass = false) {
        CFG_ITreePtr tree = NewTree();
        const bool wellFormed = Chance(inWellFormedClass ? 98 : 75);
        for (const char* channel : {"r", "g", "b"}) {
            if (wellFormed) {
                tree->SetInt(channel, Below(256));
            } else if (Chance(80)) {
                PutRandomValue(tree, channel);
            }
        }
        if (wellFormed || Chance(80)) {
            PutNumber(tree, "value", wellFormed);
        }
        if (!wellFormed && depth > 0 && Chance(30)) {
            AddChild(tree, JunkTree(depth - 1), ChildName());
        }
        return tree;
    }

    CFG_ITreePtr ClassTree(int depth) {
        CFG_ITreePtr tree = NewTree();
        const bool wellFormed = Chance(55);
        if (wellFormed || Chance(70)) {
            tree->SetString("name", Chance(80) ? _bstr_t(Pick(ClassNames()).c_str()) : OddName());
        }
        if (wellFormed) {
            tree->SetInt("allow_windowing", Below(2));
        } else if (Chance(60)) {
            PutRandomValue(tree, "allow_windowing");
        }
        if (wellFormed || Chance(85)) {
            CFG_ITreePtr graph = GraphTree(depth - 1);
            if (wellFormed || Chance(70)) {
                graph->SetString("type", "trapeze");
            } else if (Chance(80)) {
                PutRandomValue(graph, "type");
                if (Chance(50)) {
                    graph->SetString("type", _bstr_t(Pick(GraphTypes()).c_str()));
                }
            }
            AddChild(tree, graph, "op_graph");
        } else if (Chance(30)) {
            // Only the type, written through the path: creates an empty graph node.
            tree->SetString("op_graph\\type", "trapeze");
        }
        const int points = Below(5);
        for (int k = 1; k <= points; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "color_point%.2d", k);
            AddChild(tree, PointTree(depth - 1, wellFormed),
                     wellFormed || Chance(70) ? _bstr_t(name) : ChildName());
        }
        if (!wellFormed) {
            const int extra = Below(4);
            for (int i = 0; i < extra; ++i) {
                PutRandomValue(tree, AnyValueName());
            }
            if (depth > 0 && Chance(30)) {
                AddChild(tree, JunkTree(depth - 1), ChildName());
            }
        }
        return tree;
    }

  private:
    void PutNumber(const CFG_ITreePtr& tree, const _bstr_t& name, bool wellFormed) {
        if (wellFormed) {
            const double v = std::uniform_real_distribution<double>(0.0, 1.0)(m_Rng);
            tree->SetString(name,
                            _bstr_t(I18n_ConvertUtils::Double2DicomLocaleStrNum(v, 6).c_str()));
        } else {
            PutRandomValue(tree, name);
        }
    }

    static const std::vector<std::string>& ValidNames() {
        static const std::vector<std::string> names = {
            "point07_x", "point07_y", "color_point03", "name", "allow_windowing",
            "op_graph",  "type",      "max_opacity",   "r",    "g",
            "b",         "value"};
        return names;
    }
    static const std::vector<std::string>& OddNames() {
        static const std::vector<std::string> names = {"point",
                                                       "point00_x",
                                                       "point100_y",
                                                       "point999999999999_x",
                                                       "pointab_x",
                                                       "px",
                                                       "",
                                                       "point01x",
                                                       "point01_X",
                                                       "point01_",
                                                       "point-1_x",
                                                       "point2147483647_x",
                                                       "point2147483648_y",
                                                       "point_x",
                                                       "pointe\xCC\x81_x",
                                                       "\xE6\xB8\xA9\xE5\xBA\xA6",
                                                       "point01_\xC3\xA9",
                                                       "p",
                                                       "\\x",
                                                       "a\\\\b",
                                                       "op_graph\\type",
                                                       "max_opacity ",
                                                       "Max_Opacity"};
        return names;
    }
    static const std::vector<std::string>& OddTexts() {
        static const std::vector<std::string> texts = {
            "",           "nan",         "inf",     "-inf",    "-1e40",
            "1e40",       "1,5",         "abc",     "1e-45",   "-0",
            "0x10",       " 0.5 ",       "1 2",     "1,000.5", "99999999999999999999",
            "2147483648", "-2147483649", "007",     "+1",      "\xC3\xA9",
            "trapeze",    "1e308",       "-1e-320", ".",       "e5"};
        return texts;
    }
    static const std::vector<int>& OddInts() {
        static const std::vector<int> ints = {0, 1, -1, 2, 255, 256, 100000, INT_MAX, INT_MIN};
        return ints;
    }
    static const std::vector<std::string>& GraphTypes() {
        static const std::vector<std::string> types = {"trapeze", "Trapeze",  "",
                                                       "linear",  "trapeze ", "tr\xC3\xA4peze"};
        return types;
    }
    static const std::vector<std::string>& ClassNames() {
        static const std::vector<std::string> names = {"BONE", "Soft tissue", "",
                                                       "Gef\xC3\xA4\xC3\x9F", "\xE9\xAA\xA8"};
        return names;
    }

    std::mt19937 m_Rng;
};

// --- the checks ---------------------------------------------------------------

const std::vector<float>& Positions() {
    static const std::vector<float> positions = {0.0f,
                                                 0.25f,
                                                 0.5f,
                                                 0.999f,
                                                 1.0f,
                                                 -0.5f,
                                                 2.0f,
                                                 std::numeric_limits<float>::quiet_NaN(),
                                                 std::numeric_limits<float>::infinity(),
                                                 -std::numeric_limits<float>::infinity()};
    return positions;
}

bool AllFinite(const Graph& graph) {
    if (!std::isfinite(graph.GetMaxOpacity())) {
        return false;
    }
    for (unsigned i = 0; i < graph.GetOpPointCount(); ++i) {
        const OPoint p = graph.GetOpacityPoint(static_cast<int>(i));
        if (!std::isfinite(p.m_fX) || !std::isfinite(p.m_fY) || std::fabs(p.m_fY) > 1e6f) {
            return false;
        }
    }
    return std::fabs(graph.GetMaxOpacity()) <= 1e6f;
}

// Points come out ascending in x (NaN x aside, which orders nowhere).
void ExpectAscending(const Graph& graph) {
    float previous = -std::numeric_limits<float>::infinity();
    for (unsigned i = 0; i < graph.GetOpPointCount(); ++i) {
        const float x = graph.GetOpacityPoint(static_cast<int>(i)).m_fX;
        if (std::isnan(x)) {
            return;
        }
        EXPECT_LE(previous, x) << "point " << i;
        previous = x;
    }
}

// A graph that was read evaluates like any other: an empty one raises
// RWBoundsErr and nothing else does; the batch evaluation answers what the
// single one does; a graph of finite points stays between its lowest and
// highest point.
void ExpectGraphUsable(const Graph& graph) {
    ExpectAscending(graph);
    if (graph.GetOpPointCount() == 0) {
        EXPECT_THROW(graph.GetRelativeOpacity(0.5f), RWBoundsErr);
        return;
    }
    std::vector<float> single;
    for (float x : Positions()) {
        single.push_back(graph.GetRelativeOpacity(x));
    }
    std::vector<float> batch(Positions().size());
    graph.EvaluateRange(Positions().data(), static_cast<int>(Positions().size()), batch.data());
    for (std::size_t j = 0; j < single.size(); ++j) {
        EXPECT_TRUE(SameFloat(single[j], batch[j])) << "position " << Positions()[j];
    }
    if (AllFinite(graph)) {
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        for (unsigned i = 0; i < graph.GetOpPointCount(); ++i) {
            const double y = graph.GetOpacityPoint(static_cast<int>(i)).m_fY;
            low = std::min(low, y * graph.GetMaxOpacity());
            high = std::max(high, y * graph.GetMaxOpacity());
        }
        for (std::size_t j = 0; j < single.size(); ++j) {
            if (std::isnan(Positions()[j])) {
                continue;
            }
            EXPECT_GE(single[j], low - 1e-6 * (1.0 + std::fabs(low)));
            EXPECT_LE(single[j], high + 1e-6 * (1.0 + std::fabs(high)));
        }
    }
}

void ExpectSameGraph(const Graph& a, const Graph& b) {
    EXPECT_TRUE(SameFloat(a.GetMaxOpacity(), b.GetMaxOpacity()));
    ASSERT_EQ(a.GetOpPointCount(), b.GetOpPointCount());
    for (unsigned i = 0; i < a.GetOpPointCount(); ++i) {
        const OPoint p = a.GetOpacityPoint(static_cast<int>(i));
        const OPoint q = b.GetOpacityPoint(static_cast<int>(i));
        EXPECT_TRUE(SameFloat(p.m_fX, q.m_fX) && SameFloat(p.m_fY, q.m_fY)) << "point " << i;
    }
}

void ExpectSameClass(const Class& a, const Class& b) {
    EXPECT_EQ(U8(a.GetName()), U8(b.GetName()));
    EXPECT_EQ(a.GetAllowWindowing(), b.GetAllowWindowing());
    ASSERT_EQ(a.GetColorPointCount(), b.GetColorPointCount());
    for (unsigned i = 0; i < a.GetColorPointCount(); ++i) {
        const CPoint p = a.GetColorPoint(static_cast<int>(i));
        const CPoint q = b.GetColorPoint(static_cast<int>(i));
        EXPECT_TRUE(SameFloat(p.m_fValue, q.m_fValue)) << "colour point " << i;
        EXPECT_TRUE(p.m_Color == q.m_Color) << "colour point " << i;
    }
    ASSERT_EQ(a.GetOpacityGraph() == nullptr, b.GetOpacityGraph() == nullptr);
    if (a.GetOpacityGraph() != nullptr) {
        ExpectSameGraph(*a.GetOpacityGraph(), *b.GetOpacityGraph());
    }
}

// What reading the export of graph gives: the points in the written order,
// each inserted at its upper bound, y and the maximum opacity at the stored
// precision (x is stored with enough digits to come back exactly).
Graph ExpectedReadBack(const Graph& graph) {
    Graph expected(graph.GetOpPointCount() == 0 ? 0.0f : StoredAt(graph.GetMaxOpacity(), 3));
    for (unsigned i = 0; i < graph.GetOpPointCount(); ++i) {
        const OPoint p = graph.GetOpacityPoint(static_cast<int>(i));
        expected.AddOpacityPoint(OPoint(p.m_fX, StoredAt(p.m_fY, 3)));
    }
    return expected;
}

void ExpectGraphRoundTrip(Graph& graph) {
    const CFG_ITreePtr exported = graph.ExportToCFG();
    ExpectGraphUsable(graph);  // still usable after its export dropped points
    const Graph reread(exported);
    ExpectSameGraph(reread, ExpectedReadBack(graph));
}

void ExpectClassUsable(const Class& cls) {
    const unsigned colors = cls.GetColorPointCount();
    const Graph* graph = cls.GetOpacityGraph();
    const bool opacityRaises = graph != nullptr && graph->GetOpPointCount() == 0;
    for (float x : Positions()) {
        if (colors == 0) {
            EXPECT_THROW(cls.GetColor(x), RWBoundsErr);
        } else {
            EXPECT_NO_THROW(cls.GetColor(x));
        }
        if (graph == nullptr) {
            EXPECT_EQ(cls.GetRelativeOpacity(x), 0.0f);
        } else if (opacityRaises) {
            EXPECT_THROW(cls.GetRelativeOpacity(x), RWBoundsErr);
        } else {
            EXPECT_NO_THROW(cls.GetRelativeOpacity(x));
        }
    }
    if (graph != nullptr) {
        ExpectGraphUsable(*graph);
    }
    if (colors == 0 || opacityRaises) {
        return;
    }
    const std::size_t n = Positions().size();
    std::vector<int> red(n), green(n), blue(n);
    std::vector<float> opacity(n);
    cls.EvaluateRange(Positions().data(), static_cast<int>(n), red.data(), green.data(),
                      blue.data(), opacity.data());
    for (std::size_t j = 0; j < n; ++j) {
        const UTL_Color c = cls.GetColor(Positions()[j]);
        EXPECT_TRUE(c == UTL_Color(red[j], green[j], blue[j])) << "position " << Positions()[j];
        EXPECT_TRUE(SameFloat(cls.GetRelativeOpacity(Positions()[j]), opacity[j]))
            << "position " << Positions()[j];
    }
}

std::vector<std::string> ExpectedTypeLine(const Class& cls) {
    if (cls.GetOpacityGraph() != nullptr) {
        return {};
    }
    return {"Failed to get opacity graph type=\n"};
}

// Everything a caller may do with a class that was read: evaluate it, copy and
// assign it, export it and read the export back equal.
void ExpectClassRoundTrip(Class& cls) {
    ExpectClassUsable(cls);

    const Class copy(cls);
    Class assigned(_bstr_t("placeholder"), new Graph(0.5f));
    assigned.AddColorPoint(CPoint(0.5f, UTL_Color(1, 2, 3)));
    assigned = cls;
    ExpectSameClass(copy, cls);
    ExpectSameClass(assigned, cls);
    if (cls.GetOpacityGraph() != nullptr) {
        EXPECT_NE(copy.GetOpacityGraph(), cls.GetOpacityGraph());
        EXPECT_NE(assigned.GetOpacityGraph(), cls.GetOpacityGraph());
    }

    const CFG_ITreePtr exported = cls.ExportToCFG();
    ExpectClassUsable(cls);
    const Class reread(exported);
    EXPECT_EQ(vxrp_test::TakeLogTexts(), ExpectedTypeLine(cls));
    EXPECT_EQ(U8(reread.GetName()), U8(cls.GetName()));
    EXPECT_EQ(reread.GetAllowWindowing(), cls.GetAllowWindowing());
    EXPECT_TRUE(reread.GetIsActive());
    EXPECT_EQ(reread.GetWidth(), 0.0f);
    EXPECT_EQ(reread.GetCenter(), 0.0f);

    // The colour points in the written order, inserted at their upper bounds.
    Class expectedColors(_bstr_t(""), nullptr);
    for (unsigned i = 0; i < cls.GetColorPointCount(); ++i) {
        expectedColors.AddColorPoint(cls.GetColorPoint(static_cast<int>(i)));
    }
    ASSERT_EQ(reread.GetColorPointCount(), expectedColors.GetColorPointCount());
    for (unsigned i = 0; i < reread.GetColorPointCount(); ++i) {
        const CPoint p = reread.GetColorPoint(static_cast<int>(i));
        const CPoint q = expectedColors.GetColorPoint(static_cast<int>(i));
        EXPECT_TRUE(SameFloat(p.m_fValue, q.m_fValue)) << "colour point " << i;
        EXPECT_TRUE(p.m_Color == q.m_Color) << "colour point " << i;
    }
    ASSERT_EQ(reread.GetOpacityGraph() == nullptr, cls.GetOpacityGraph() == nullptr);
    if (cls.GetOpacityGraph() != nullptr) {
        ExpectSameGraph(*reread.GetOpacityGraph(), ExpectedReadBack(*cls.GetOpacityGraph()));
    }
    ExpectClassUsable(reread);
}

// Prints the tree of the first few failing iterations and stops the loop once
// failures pile up, so that one fault does not bury the output.
class FailureReport {
  public:
    // True when the loop should stop.
    bool After(int iteration, const CFG_ITreePtr& tree) {
        if (Parts() == m_nParts) {
            return false;
        }
        ++m_nFailures;
        if (m_nFailures <= 3) {
            ADD_FAILURE() << "iteration " << iteration << " (seed " << kSeed << "), tree:\n"
                          << (tree ? CFG_DumpTree(tree) : std::string("(null)"));
        }
        m_nParts = Parts();
        return m_nFailures > 3;
    }

  private:
    static int Parts() {
        return ::testing::UnitTest::GetInstance()
            ->current_test_info()
            ->result()
            ->total_part_count();
    }
    int m_nParts = Parts();
    int m_nFailures = 0;
};

// --- the tests ----------------------------------------------------------------

TEST(VXR_VOLR_ColorClass,
     ReadingRandomClassTreesSucceedsOrRaisesATreeErrorAndReadClassesRoundTrip) {
    TreeGenerator gen(kSeed);
    FailureReport report;
    int read = 0, raised = 0, withoutGraph = 0, withColors = 0;
    for (int iteration = 0; iteration < kClassTrees; ++iteration) {
        const CFG_ITreePtr tree = gen.Chance(1) ? CFG_ITreePtr() : gen.ClassTree(3);
        const _bstr_t type = tree ? tree->GetString("op_graph\\type") : _bstr_t("");
        Class* cls = nullptr;
        std::string what;
        const Outcome outcome = Attempt([&] { cls = new Class(tree); }, what);
        std::unique_ptr<Class> owned(cls);
        EXPECT_TRUE(outcome == Outcome::Ok || outcome == Outcome::ComError)
            << "raised something else: " << what;

        std::vector<std::string> expectedLog;
        if (outcome == Outcome::Ok) {
            if (!tree) {
                expectedLog = {"Failed to get class\n"};
            } else if (type.view() != u"trapeze") {
                expectedLog = {"Failed to get opacity graph type=" + U8(type) + "\n"};
            }
        }
        EXPECT_EQ(vxrp_test::TakeLogTexts(), expectedLog);

        if (owned) {
            ++read;
            if (tree) {
                EXPECT_EQ(U8(owned->GetName()), U8(tree->GetString("name")));
            }
            if (owned->GetOpacityGraph() == nullptr) {
                ++withoutGraph;
                EXPECT_EQ(owned->GetColorPointCount(), 0u);
            }
            withColors += owned->GetColorPointCount() > 0 ? 1 : 0;
            ExpectClassRoundTrip(*owned);
        } else {
            ++raised;
        }
        if (report.After(iteration, tree)) {
            break;
        }
    }
    ::testing::Test::RecordProperty("read", read);
    ::testing::Test::RecordProperty("raised", raised);
    ::testing::Test::RecordProperty("withoutGraph", withoutGraph);
    ::testing::Test::RecordProperty("withColors", withColors);
    // The mix must exercise every path, or the test proves little.
    EXPECT_GT(read, kClassTrees / 2);
    EXPECT_GT(raised, kClassTrees / 10);
    EXPECT_GT(withoutGraph, kClassTrees / 20);
    EXPECT_GT(withColors, kClassTrees / 3);
}

TEST(VXR_VOLR_TrapezeOpacityGraph,
     ReadingRandomGraphTreesSucceedsOrRaisesATreeErrorAndReadGraphsRoundTrip) {
    TreeGenerator gen(kSeed + 1);
    FailureReport report;
    int read = 0, empty = 0;
    for (int iteration = 0; iteration < kGraphTrees; ++iteration) {
        const CFG_ITreePtr tree = gen.Chance(1) ? CFG_ITreePtr() : gen.GraphTree(3);
        Graph* graph = nullptr;
        std::string what;
        const Outcome outcome = Attempt([&] { graph = new Graph(tree); }, what);
        std::unique_ptr<Graph> owned(graph);
        EXPECT_TRUE(outcome == Outcome::Ok || outcome == Outcome::ComError)
            << "raised something else: " << what;
        if (!tree) {
            EXPECT_EQ(outcome, Outcome::ComError);
        }
        if (owned) {
            ++read;
            // Without any value named point... the graph is empty at maximum opacity 0.
            bool anyPointName = false;
            for (int i = 0; i < tree->GetValueCount(""); ++i) {
                anyPointName = anyPointName || BeginsWith(tree->GetValueName("", i), u"point");
            }
            if (!anyPointName) {
                EXPECT_EQ(owned->GetOpPointCount(), 0u);
                EXPECT_EQ(owned->GetMaxOpacity(), 0.0f);
            }
            if (tree->GetValueKind("max_opacity") == CFG_ValueKind::None) {
                EXPECT_EQ(owned->GetMaxOpacity(), 0.0f);
            }
            empty += owned->GetOpPointCount() == 0 ? 1 : 0;
            ExpectGraphUsable(*owned);
            const Graph copy(*owned);
            Graph assigned(0.25f);
            assigned.AddOpacityPoint(OPoint(0.5f, 0.5f));
            assigned = *owned;
            ExpectSameGraph(copy, *owned);
            ExpectSameGraph(assigned, *owned);
            ExpectGraphRoundTrip(*owned);
        }
        EXPECT_TRUE(vxrp_test::TakeLogTexts().empty());
        if (report.After(iteration, tree)) {
            break;
        }
    }
    ::testing::Test::RecordProperty("read", read);
    ::testing::Test::RecordProperty("empty", empty);
    EXPECT_GT(read, kGraphTrees * 9 / 10);
    EXPECT_GT(empty, kGraphTrees / 20);
    EXPECT_LT(empty, read / 2);
}

TEST(VXR_VOLR_ColorPoint, ReadingRandomPointTreesSucceedsOrRaisesATreeErrorAndReadPointsRoundTrip) {
    TreeGenerator gen(kSeed + 2);
    FailureReport report;
    int read = 0, raised = 0;
    for (int iteration = 0; iteration < kPointTrees; ++iteration) {
        const CFG_ITreePtr tree = gen.Chance(1) ? CFG_ITreePtr() : gen.PointTree(2);
        CPoint point;
        std::string what;
        const Outcome outcome = Attempt([&] { point = CPoint(tree); }, what);
        EXPECT_TRUE(outcome == Outcome::Ok || outcome == Outcome::ComError)
            << "raised something else: " << what;
        if (outcome == Outcome::Ok) {
            ++read;
            EXPECT_EQ(point.m_Color.GetRed(), tree->GetInt("r"));
            EXPECT_EQ(point.m_Color.GetGreen(), tree->GetInt("g"));
            EXPECT_EQ(point.m_Color.GetBlue(), tree->GetInt("b"));
            const CPoint reread(point.ExportToCFG());
            EXPECT_TRUE(SameFloat(reread.m_fValue, point.m_fValue)) << point.m_fValue;
            EXPECT_TRUE(reread.m_Color == point.m_Color);
        } else {
            ++raised;
        }
        EXPECT_TRUE(vxrp_test::TakeLogTexts().empty());
        if (report.After(iteration, tree)) {
            break;
        }
    }
    ::testing::Test::RecordProperty("read", read);
    ::testing::Test::RecordProperty("raised", raised);
    EXPECT_GT(read, kPointTrees / 2);
    EXPECT_GT(raised, kPointTrees / 10);
}

}  // namespace
