#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CFG/CFG_ITree.h"
#include "support/AllocationFailure.h"
#include "support/TreeHelpers.h"

namespace {

using vxrp_test::ChildNames;
using vxrp_test::NewTree;
using vxrp_test::ValueNames;

// prefix followed by the decimal number; appended rather than written as
// "literal" + std::string, which GCC 12 at -O3 falsely reports as overlapping.
_bstr_t Numbered(const char* prefix, int number, const char* suffix = "") {
    std::string text(prefix);
    text.append(std::to_string(number)).append(suffix);
    return _bstr_t::FromUtf8(text);
}

// Runs call, expects a _com_error with code hr, and answers its message.
template <class Call>
std::string ErrorOf(HRESULT hr, Call call) {
    try {
        call();
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), hr) << e.what();
        return e.what();
    }
    ADD_FAILURE() << "no _com_error raised";
    return {};
}

// The class-node layout the colour classes write: values, a graph child written
// into through the parent's path, and point children.
CFG_ITreePtr ClassLikeTree() {
    CFG_ITreePtr cls = NewTree();
    cls->SetString("name", "BONE");
    cls->SetInt("allow_windowing", 1);
    CFG_ITreePtr graph = NewTree();
    graph->SetString("point01_x", "0.3");
    graph->SetString("point01_y", "0");
    graph->SetString("max_opacity", "1");
    graph->SetNodeName("", "op_graph");
    cls->AddSubTree("", graph);
    cls->SetString("op_graph\\type", "trapeze");
    for (const char* name : {"color_point01", "color_point02"}) {
        CFG_ITreePtr point = NewTree();
        point->SetInt("r", 255);
        point->SetInt("g", 0);
        point->SetInt("b", 0);
        point->SetString("value", "0.2");
        point->SetNodeName("", name);
        cls->AddSubTree("", point);
    }
    cls->SetNodeName("", "class1");
    return cls;
}

}  // namespace

TEST(CFG_ITree, ANewTreeIsEmptyNamelessAndRefusesWorkUntilInitialised) {
    CFG_ITreePtr tree = CFG_CreateTree();
    ASSERT_TRUE(tree);
    EXPECT_EQ(ErrorOf(E_UNEXPECTED, [&] { tree->SetString("a", "b"); }),
              "CFG_ITree::SetString(\"a\"): the tree was not initialised (call Init first) "
              "(HRESULT 0x8000FFFF)");
    ErrorOf(E_UNEXPECTED, [&] { tree->GetString("a"); });
    ErrorOf(E_UNEXPECTED, [&] { tree->GetIntDefault("a", 1); });
    ErrorOf(E_UNEXPECTED, [&] { tree->GetChildNames(""); });
    ErrorOf(E_UNEXPECTED, [&] { tree->GetValueCount(""); });
    ErrorOf(E_UNEXPECTED, [&] { tree->GetNodeName(); });
    ErrorOf(E_UNEXPECTED, [&] { tree->SetNodeName("", "x"); });

    tree->Init();
    tree->Init();  // a second Init is harmless
    EXPECT_EQ(tree->GetValueCount(""), 0);
    EXPECT_TRUE(ChildNames(tree).empty());
    const _bstr_t name = tree->GetNodeName();
    EXPECT_FALSE(name.is_null());
    EXPECT_TRUE(name.empty());
}

TEST(CFG_ITree, StringsAreStoredOverwrittenAndAMissingOneReadsAsEmptyNeverNull) {
    CFG_ITreePtr tree = NewTree();
    const _bstr_t missing = tree->GetString("name");
    EXPECT_FALSE(missing.is_null());
    EXPECT_TRUE(missing.empty());

    tree->SetString("name", "Knochen \xC3\xBC");
    EXPECT_EQ(tree->GetString("name").utf8(), "Knochen \xC3\xBC");
    tree->SetString("name", "BONE");
    EXPECT_EQ(tree->GetString("name"), _bstr_t("BONE"));
    EXPECT_EQ(tree->GetValueCount(""), 1);

    tree->SetString("empty", _bstr_t());  // a null string is stored as empty
    EXPECT_FALSE(tree->GetString("empty").is_null());
    EXPECT_EQ(tree->GetValueKind("empty"), CFG_ValueKind::String);
    // A missing child on the way is a missing value too.
    EXPECT_TRUE(tree->GetString("no_child\\name").empty());
    EXPECT_FALSE(tree->GetString("no_child\\name").is_null());
}

TEST(CFG_ITree, IntegersStayIntegersAndReadAsDecimalText) {
    CFG_ITreePtr tree = NewTree();
    tree->SetInt("r", 255);
    tree->SetInt("low", -2147483647 - 1);
    tree->SetString("text", "12");
    EXPECT_EQ(tree->GetInt("r"), 255);
    EXPECT_EQ(tree->GetInt("low"), -2147483647 - 1);
    EXPECT_EQ(tree->GetValueKind("r"), CFG_ValueKind::Int);
    EXPECT_EQ(tree->GetValueKind("text"), CFG_ValueKind::String);
    EXPECT_EQ(tree->GetValueKind("absent"), CFG_ValueKind::None);
    EXPECT_EQ(tree->GetString("r").utf8(), "255");
    EXPECT_EQ(tree->GetString("low").utf8(), "-2147483648");

    // Overwriting changes the kind but keeps the value's place.
    tree->SetString("r", "red");
    EXPECT_EQ(tree->GetValueKind("r"), CFG_ValueKind::String);
    tree->SetInt("text", 7);
    EXPECT_EQ(tree->GetValueKind("text"), CFG_ValueKind::Int);
    EXPECT_EQ(ValueNames(tree), (std::vector<std::string>{"r", "low", "text"}));
}

TEST(CFG_ITree, GetIntReadsWholeDecimalStringsAndRaisesOnAnythingElse) {
    CFG_ITreePtr tree = NewTree();
    const std::vector<std::pair<const char*, int>> good = {{"0", 0},
                                                           {"-12", -12},
                                                           {"007", 7},
                                                           {"2147483647", 2147483647},
                                                           {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : good) {
        tree->SetString("v", text);
        EXPECT_EQ(tree->GetInt("v"), value) << text;
        EXPECT_EQ(tree->GetIntDefault("v", 99), value) << text;
    }
    for (const char* text : {"", "-", "+1", " 1", "1 ", "1.5", "0x10", "abc", "2147483648",
                             "-2147483649", "99999999999999999999"}) {
        tree->SetString("v", text);
        EXPECT_EQ(ErrorOf(DISP_E_TYPEMISMATCH, [&] { tree->GetInt("v"); }),
                  std::string("CFG_ITree::GetInt(\"v\"): the value \"") + text +
                      "\" is not an integer (HRESULT 0x80020005)");
        // A damaged value is not replaced by the default either.
        ErrorOf(DISP_E_TYPEMISMATCH, [&] { tree->GetIntDefault("v", 1); });
    }
}

TEST(CFG_ITree, AMissingIntegerRaisesButGetIntDefaultAnswersTheDefault) {
    CFG_ITreePtr tree = NewTree();
    EXPECT_EQ(ErrorOf(COM_E_NOTFOUND, [&] { tree->GetInt("r"); }),
              "CFG_ITree::GetInt(\"r\"): no such value (HRESULT 0x80070490)");
    ErrorOf(COM_E_NOTFOUND, [&] { tree->GetInt("child\\r"); });
    EXPECT_EQ(tree->GetIntDefault("allow_windowing", 1), 1);
    EXPECT_EQ(tree->GetIntDefault("lighting", 0), 0);
    EXPECT_EQ(tree->GetIntDefault("child\\lighting", -5), -5);
    tree->SetInt("lighting", -1);
    EXPECT_EQ(tree->GetIntDefault("lighting", 0), -1);
}

TEST(CFG_ITree, ValuesAreListedInFirstWrittenOrderOnEveryWalk) {
    CFG_ITreePtr tree = NewTree();
    for (const char* name : {"point02_y", "max_opacity", "point01_x", "point02_x", "a"}) {
        tree->SetString(name, "1");
    }
    tree->SetString("max_opacity", "0.5");  // overwriting keeps the place
    const std::vector<std::string> expected = {"point02_y", "max_opacity", "point01_x", "point02_x",
                                               "a"};
    EXPECT_EQ(ValueNames(tree), expected);
    EXPECT_EQ(ValueNames(tree), expected);

    tree->RemoveValue("point01_x");
    EXPECT_EQ(ValueNames(tree),
              (std::vector<std::string>{"point02_y", "max_opacity", "point02_x", "a"}));
    tree->SetString("point01_x", "2");
    EXPECT_EQ(ValueNames(tree).back(), "point01_x");
    ErrorOf(COM_E_NOTFOUND, [&] { tree->RemoveValue("point01_x\\x"); });
    ErrorOf(COM_E_NOTFOUND, [&] { tree->RemoveValue("never"); });
}

TEST(CFG_ITree, GetValueNameRaisesOutsideTheValues) {
    CFG_ITreePtr tree = NewTree();
    tree->SetInt("r", 1);
    tree->SetInt("g", 2);
    EXPECT_EQ(tree->GetValueName("", 1).utf8(), "g");
    EXPECT_EQ(ErrorOf(DISP_E_BADINDEX, [&] { tree->GetValueName("", 2); }),
              "CFG_ITree::GetValueName(\"\"): value index 2 is outside 0..1 (HRESULT 0x8002000B)");
    ErrorOf(DISP_E_BADINDEX, [&] { tree->GetValueName("", -1); });
    CFG_ITreePtr empty = NewTree();
    EXPECT_EQ(ErrorOf(DISP_E_BADINDEX, [&] { empty->GetValueName("", 0); }),
              "CFG_ITree::GetValueName(\"\"): value index 0 is outside 0..-1 (HRESULT "
              "0x8002000B)");
}

TEST(CFG_ITree, PathsThroughChildrenReachTheirValues) {
    CFG_ITreePtr tree = ClassLikeTree();
    EXPECT_EQ(tree->GetString("op_graph\\type").utf8(), "trapeze");
    EXPECT_EQ(tree->GetString("op_graph\\point01_x").utf8(), "0.3");
    EXPECT_EQ(tree->GetInt("color_point02\\r"), 255);
    EXPECT_EQ(tree->GetValueCount("op_graph"), 4);
    EXPECT_EQ(ValueNames(tree, "op_graph"),
              (std::vector<std::string>{"point01_x", "point01_y", "max_opacity", "type"}));
    // The graph's values are not the class's.
    EXPECT_EQ(ValueNames(tree), (std::vector<std::string>{"name", "allow_windowing"}));
    EXPECT_TRUE(tree->GetString("type").empty());
}

TEST(CFG_ITree, WritingThroughAMissingChildCreatesIt) {
    CFG_ITreePtr tree = NewTree();
    tree->SetString("a\\b\\c", "deep");
    tree->SetInt("a\\n", 3);
    EXPECT_EQ(ChildNames(tree), (std::vector<std::string>{"a"}));
    EXPECT_EQ(ChildNames(tree, "a"), (std::vector<std::string>{"b"}));
    EXPECT_EQ(tree->GetSubTree("a\\b")->GetNodeName().utf8(), "b");
    EXPECT_EQ(tree->GetString("a\\b\\c").utf8(), "deep");
    EXPECT_EQ(ValueNames(tree, "a"), (std::vector<std::string>{"n"}));
}

TEST(CFG_ITree, PathsWithAnEmptyPartAreRefusedByEveryOperation) {
    CFG_ITreePtr tree = ClassLikeTree();
    const CFG_ITreePtr before = CFG_CloneTree(tree);
    for (const char* path : {"op_graph\\\\type", "\\name", "op_graph\\", "\\", "\\\\"}) {
        EXPECT_EQ(ErrorOf(E_INVALIDARG, [&] { tree->GetString(path); }),
                  std::string("CFG_ITree::GetString(\"") + path +
                      "\"): the path has an empty part (HRESULT 0x80070057)");
        ErrorOf(E_INVALIDARG, [&] { tree->SetString(path, "x"); });
        ErrorOf(E_INVALIDARG, [&] { tree->SetInt(path, 1); });
        ErrorOf(E_INVALIDARG, [&] { tree->GetInt(path); });
        ErrorOf(E_INVALIDARG, [&] { tree->GetIntDefault(path, 1); });
        ErrorOf(E_INVALIDARG, [&] { tree->GetSubTree(path); });
        ErrorOf(E_INVALIDARG, [&] { tree->GetChildNames(path); });
        ErrorOf(E_INVALIDARG, [&] { tree->GetValueCount(path); });
        ErrorOf(E_INVALIDARG, [&] { tree->GetValueName(path, 0); });
        ErrorOf(E_INVALIDARG, [&] { tree->SetNodeName(path, "x"); });
        ErrorOf(E_INVALIDARG, [&] { tree->AddSubTree(path, NewTree()); });
        ErrorOf(E_INVALIDARG, [&] { tree->RemoveValue(path); });
    }
    EXPECT_TRUE(CFG_TreesEqual(tree, before)) << CFG_DumpTree(tree);
}

TEST(CFG_ITree, AValueOperationNeedsAValueName) {
    CFG_ITreePtr tree = NewTree();
    EXPECT_EQ(ErrorOf(E_INVALIDARG, [&] { tree->SetString("", "x"); }),
              "CFG_ITree::SetString(\"\"): a value needs a name (HRESULT 0x80070057)");
    ErrorOf(E_INVALIDARG, [&] { tree->SetInt(_bstr_t(), 1); });
    ErrorOf(E_INVALIDARG, [&] { tree->GetString(""); });
    ErrorOf(E_INVALIDARG, [&] { tree->GetIntDefault("", 1); });
    EXPECT_EQ(tree->GetValueCount(""), 0);
}

TEST(CFG_ITree, NamesCompareCaseSensitively) {
    CFG_ITreePtr tree = NewTree();
    tree->SetString("Name", "upper");
    tree->SetString("name", "lower");
    EXPECT_EQ(tree->GetString("Name").utf8(), "upper");
    EXPECT_EQ(tree->GetString("name").utf8(), "lower");
    EXPECT_TRUE(tree->GetString("NAME").empty());

    CFG_ITreePtr child = NewTree();
    child->SetNodeName("", "Class1");
    tree->AddSubTree("", child);
    child->SetNodeName("", "class1");
    tree->AddSubTree("", child);
    EXPECT_EQ(ChildNames(tree), (std::vector<std::string>{"Class1", "class1"}));
    ErrorOf(COM_E_NOTFOUND, [&] { tree->GetSubTree("CLASS1"); });
}

TEST(CFG_ITree, AValueAndAChildMayShareAName) {
    CFG_ITreePtr tree = NewTree();
    tree->SetString("x", "value");
    tree->SetInt("x\\inner", 4);
    EXPECT_EQ(tree->GetString("x").utf8(), "value");
    EXPECT_EQ(tree->GetInt("x\\inner"), 4);
    EXPECT_EQ(ValueNames(tree), (std::vector<std::string>{"x"}));
    EXPECT_EQ(ChildNames(tree), (std::vector<std::string>{"x"}));
}

TEST(CFG_ITree, GetSubTreeAnswersALiveViewAndRaisesForAMissingChild) {
    CFG_ITreePtr tree = ClassLikeTree();
    CFG_ITreePtr graph = tree->GetSubTree("op_graph");
    EXPECT_EQ(graph->GetNodeName().utf8(), "op_graph");
    EXPECT_EQ(graph->GetString("type").utf8(), "trapeze");
    graph->SetString("max_opacity", "0.5");
    EXPECT_EQ(tree->GetString("op_graph\\max_opacity").utf8(), "0.5");
    tree->SetString("op_graph\\extra", "e");
    EXPECT_EQ(graph->GetString("extra").utf8(), "e");

    EXPECT_EQ(ErrorOf(COM_E_NOTFOUND, [&] { tree->GetSubTree("color_point03"); }),
              "CFG_ITree::GetSubTree(\"color_point03\"): no such child node (HRESULT "
              "0x80070490)");
    ErrorOf(COM_E_NOTFOUND, [&] { tree->GetSubTree("op_graph\\type"); });  // a value
    ErrorOf(COM_E_NOTFOUND, [&] { tree->GetChildNames("missing"); });
    ErrorOf(COM_E_NOTFOUND, [&] { tree->GetValueCount("missing"); });
    ErrorOf(COM_E_NOTFOUND, [&] { tree->GetValueName("missing", 0); });

    // The empty path is the node itself.
    CFG_ITreePtr self = tree->GetSubTree("");
    EXPECT_EQ(self->GetNodeName().utf8(), "class1");
    EXPECT_EQ(self->GetString("name").utf8(), "BONE");
}

TEST(CFG_ITree, AViewOutlivesTheTreeItCameFrom) {
    CFG_ITreePtr graph;
    {
        CFG_ITreePtr tree = ClassLikeTree();
        graph = tree->GetSubTree("op_graph");
    }
    EXPECT_EQ(graph->GetString("type").utf8(), "trapeze");
    graph->SetNodeName("", "");  // no longer anyone's child: any name goes
    EXPECT_TRUE(graph->GetNodeName().empty());
}

TEST(CFG_ITree, ChildrenAreListedInTheOrderTheyWereAdded) {
    CFG_ITreePtr tree = NewTree();
    for (const char* name : {"class2", "tissue_place_holders", "class1", "c"}) {
        CFG_ITreePtr child = NewTree();
        child->SetNodeName("", name);
        tree->AddSubTree("", child);
    }
    const CFG_INameListPtr names = tree->GetChildNames("");
    ASSERT_EQ(names->GetCount(), 4);
    EXPECT_EQ(names->GetItem(0).utf8(), "class2");
    EXPECT_EQ(names->GetItem(3).utf8(), "c");
    // The list is a snapshot of the names when it was asked for.
    CFG_ITreePtr later = NewTree();
    later->SetNodeName("", "class3");
    tree->AddSubTree("", later);
    EXPECT_EQ(names->GetCount(), 4);
    EXPECT_EQ(ChildNames(tree).size(), 5u);
}

TEST(CFG_INameList, GetItemOutOfRangeAnswersANullString) {
    const CFG_INameListPtr names(new CFG_INameList({_bstr_t("a")}));
    EXPECT_EQ(names->GetItem(0).utf8(), "a");
    EXPECT_TRUE(names->GetItem(1).is_null());
    EXPECT_TRUE(names->GetItem(-1).is_null());
}

TEST(CFG_ITree, AddSubTreeAttachesACopyUnderItsNodeName) {
    CFG_ITreePtr parent = NewTree();
    CFG_ITreePtr child = NewTree();
    child->SetString("type", "trapeze");
    child->SetInt("n", 1);
    child->SetString("inner\\v", "deep");
    child->SetNodeName("", "op_graph");
    parent->AddSubTree("", child);

    // Later changes to the added tree do not reach the parent, nor the other way.
    child->SetString("type", "changed");
    child->SetNodeName("", "renamed");
    parent->SetString("op_graph\\n", "2");
    EXPECT_EQ(parent->GetString("op_graph\\type").utf8(), "trapeze");
    EXPECT_EQ(parent->GetString("op_graph\\inner\\v").utf8(), "deep");
    EXPECT_EQ(parent->GetValueKind("op_graph\\n"), CFG_ValueKind::String);
    EXPECT_EQ(child->GetInt("n"), 1);
    EXPECT_EQ(ChildNames(parent), (std::vector<std::string>{"op_graph"}));

    // Attaching below a child given by a path.
    CFG_ITreePtr vessel = NewTree();
    vessel->SetNodeName("", "vessel");
    parent->AddSubTree("op_graph\\inner", vessel);
    EXPECT_EQ(ChildNames(parent, "op_graph\\inner"), (std::vector<std::string>{"vessel"}));
    ErrorOf(COM_E_NOTFOUND, [&] { parent->AddSubTree("missing", vessel); });
}

TEST(CFG_ITree, ATreeMayBeAddedToItself) {
    CFG_ITreePtr tree = NewTree();
    tree->SetString("v", "1");
    tree->SetNodeName("", "self");
    tree->AddSubTree("", tree);
    tree->AddSubTree("self", tree);
    EXPECT_EQ(CFG_DumpTree(tree),
              "[self]\n"
              "  v = \"1\"\n"
              "  [self]\n"
              "    v = \"1\"\n"
              "    [self]\n"
              "      v = \"1\"\n"
              "      [self]\n"
              "        v = \"1\"\n");
}

TEST(CFG_ITree, AddSubTreeRefusesBadTreesAndLeavesTheParentUnchanged) {
    CFG_ITreePtr parent = ClassLikeTree();
    const CFG_ITreePtr before = CFG_CloneTree(parent);

    CFG_ITreePtr unnamed = NewTree();
    EXPECT_EQ(ErrorOf(E_INVALIDARG, [&] { parent->AddSubTree("", unnamed); }),
              "CFG_ITree::AddSubTree(\"\"): the tree to add has no usable node name: \"\" "
              "(HRESULT 0x80070057)");
    CFG_ITreePtr slashed = NewTree();
    slashed->SetNodeName("", "a\\b");
    ErrorOf(E_INVALIDARG, [&] { parent->AddSubTree("", slashed); });

    CFG_ITreePtr duplicate = NewTree();
    duplicate->SetNodeName("", "color_point01");
    duplicate->SetInt("r", 9);
    EXPECT_EQ(ErrorOf(COM_E_ALREADYEXISTS, [&] { parent->AddSubTree("", duplicate); }),
              "CFG_ITree::AddSubTree(\"\"): a child node is already named \"color_point01\" "
              "(HRESULT 0x800700B7)");

    ErrorOf(E_POINTER, [&] { parent->AddSubTree("", CFG_ITreePtr()); });
    CFG_ITreePtr uninitialised = CFG_CreateTree();
    ErrorOf(E_UNEXPECTED, [&] { parent->AddSubTree("", uninitialised); });

    EXPECT_TRUE(CFG_TreesEqual(parent, before)) << CFG_DumpTree(parent);
}

TEST(CFG_ITree, SetNodeNameRenamesTheNodeAtThePath) {
    CFG_ITreePtr tree = ClassLikeTree();
    tree->SetNodeName("color_point02", "color_point07");
    EXPECT_EQ(ChildNames(tree),
              (std::vector<std::string>{"op_graph", "color_point01", "color_point07"}));
    EXPECT_EQ(tree->GetInt("color_point07\\r"), 255);
    tree->SetNodeName("color_point07", "color_point07");  // its own name again
    tree->SetNodeName("", "class9");
    EXPECT_EQ(tree->GetNodeName().utf8(), "class9");

    // A child must stay reachable and unique among its siblings.
    EXPECT_EQ(ErrorOf(COM_E_ALREADYEXISTS, [&] { tree->SetNodeName("color_point07", "op_graph"); }),
              "CFG_ITree::SetNodeName(\"color_point07\"): a sibling node is already named "
              "\"op_graph\" (HRESULT 0x800700B7)");
    ErrorOf(E_INVALIDARG, [&] { tree->SetNodeName("op_graph", ""); });
    ErrorOf(E_INVALIDARG, [&] { tree->SetNodeName("op_graph", "a\\b"); });
    CFG_ITreePtr graph = tree->GetSubTree("op_graph");
    ErrorOf(COM_E_ALREADYEXISTS, [&] { graph->SetNodeName("", "color_point01"); });
    ErrorOf(COM_E_NOTFOUND, [&] { tree->SetNodeName("missing", "x"); });
    EXPECT_EQ(ChildNames(tree),
              (std::vector<std::string>{"op_graph", "color_point01", "color_point07"}));

    // A tree that is nobody's child may carry any name, even one that could
    // not be attached.
    CFG_ITreePtr root = NewTree();
    root->SetNodeName("", "a\\b");
    EXPECT_EQ(root->GetNodeName().utf8(), "a\\b");
    root->SetNodeName("", _bstr_t());
    EXPECT_FALSE(root->GetNodeName().is_null());
}

TEST(CFG_ITree, CloneIsADeepIndependentCopy) {
    CFG_ITreePtr tree = ClassLikeTree();
    CFG_ITreePtr copy = CFG_CloneTree(tree);
    EXPECT_TRUE(CFG_TreesEqual(tree, copy));
    EXPECT_EQ(CFG_DumpTree(tree), CFG_DumpTree(copy));
    copy->SetString("op_graph\\type", "other");
    EXPECT_EQ(tree->GetString("op_graph\\type").utf8(), "trapeze");
    EXPECT_FALSE(CFG_TreesEqual(tree, copy));
    ErrorOf(E_POINTER, [&] { CFG_CloneTree(CFG_ITreePtr()); });
}

TEST(CFG_ITree, EqualityLooksAtNamesKindsValuesAndOrder) {
    auto make = [](bool swapValues, bool intKind, bool swapChildren) {
        CFG_ITreePtr t = NewTree();
        t->SetNodeName("", "p");
        if (swapValues) {
            t->SetString("b", "2");
        }
        t->SetString("a", "1");
        if (!swapValues) {
            t->SetString("b", "2");
        }
        if (intKind) {
            t->SetInt("a", 1);
        }
        t->SetString(swapChildren ? "y\\v" : "x\\v", "1");
        t->SetString(swapChildren ? "x\\v" : "y\\v", "1");
        return t;
    };
    const CFG_ITreePtr base = make(false, false, false);
    EXPECT_TRUE(CFG_TreesEqual(base, make(false, false, false)));
    EXPECT_FALSE(CFG_TreesEqual(base, make(true, false, false)));
    EXPECT_FALSE(CFG_TreesEqual(base, make(false, true, false)));  // "1" vs 1
    EXPECT_FALSE(CFG_TreesEqual(base, make(false, false, true)));
    CFG_ITreePtr renamed = make(false, false, false);
    renamed->SetNodeName("", "q");
    EXPECT_FALSE(CFG_TreesEqual(base, renamed));
    CFG_ITreePtr deeper = make(false, false, false);
    deeper->SetString("y\\v", "2");
    EXPECT_FALSE(CFG_TreesEqual(base, deeper));
    EXPECT_TRUE(CFG_TreesEqual(CFG_ITreePtr(), CFG_ITreePtr()));
    EXPECT_FALSE(CFG_TreesEqual(base, CFG_ITreePtr()));
}

TEST(CFG_ITree, DumpShowsKindsAndNesting) {
    EXPECT_EQ(CFG_DumpTree(ClassLikeTree()),
              "[class1]\n"
              "  name = \"BONE\"\n"
              "  allow_windowing = 1\n"
              "  [op_graph]\n"
              "    point01_x = \"0.3\"\n"
              "    point01_y = \"0\"\n"
              "    max_opacity = \"1\"\n"
              "    type = \"trapeze\"\n"
              "  [color_point01]\n"
              "    r = 255\n"
              "    g = 0\n"
              "    b = 0\n"
              "    value = \"0.2\"\n"
              "  [color_point02]\n"
              "    r = 255\n"
              "    g = 0\n"
              "    b = 0\n"
              "    value = \"0.2\"\n");
    EXPECT_EQ(CFG_DumpTree(CFG_ITreePtr()), "(null tree)\n");
}

TEST(CFG_ITree, CallingThroughANullTreeRaisesThePointerError) {
    CFG_ITreePtr tree;
    EXPECT_FALSE(tree);
    EXPECT_EQ(ErrorOf(E_POINTER, [&] { tree->GetString("name"); }),
              "Call through a null interface pointer (HRESULT 0x80004003)");
}

TEST(CFG_ITree, RenamingAChildFreesItsOldNameAndTakesTheNew) {
    CFG_ITreePtr tree = ClassLikeTree();
    tree->SetNodeName("color_point01", "color_point09");
    ErrorOf(COM_E_NOTFOUND, [&] { tree->GetSubTree("color_point01"); });
    EXPECT_TRUE(tree->GetString("color_point01\\r").empty());
    EXPECT_EQ(tree->GetInt("color_point09\\r"), 255);

    // The old name is free again, and writing through it makes a new child.
    tree->SetInt("color_point01\\r", 7);
    EXPECT_EQ(ChildNames(tree), (std::vector<std::string>{"op_graph", "color_point09",
                                                          "color_point02", "color_point01"}));
    EXPECT_EQ(tree->GetInt("color_point01\\r"), 7);
    EXPECT_EQ(tree->GetInt("color_point09\\r"), 255);

    // Renaming through a view of the child reaches the parent's names too.
    CFG_ITreePtr graph = tree->GetSubTree("op_graph");
    graph->SetNodeName("", "opacity");
    EXPECT_EQ(tree->GetString("opacity\\type").utf8(), "trapeze");
    ErrorOf(COM_E_NOTFOUND, [&] { tree->GetValueCount("op_graph"); });
    CFG_ITreePtr again = NewTree();
    again->SetNodeName("", "op_graph");
    tree->AddSubTree("", again);
    EXPECT_EQ(tree->GetValueCount("op_graph"), 0);
    ErrorOf(COM_E_ALREADYEXISTS, [&] { tree->SetNodeName("opacity", "op_graph"); });
}

TEST(CFG_ITree, RemovingAValueKeepsEveryLaterValueReachableInItsPlace) {
    CFG_ITreePtr tree = NewTree();
    for (int i = 0; i < 6; ++i) {
        tree->SetInt(Numbered("v", i), i);
    }
    tree->RemoveValue("v1");
    tree->RemoveValue("v3");
    EXPECT_EQ(ValueNames(tree), (std::vector<std::string>{"v0", "v2", "v4", "v5"}));
    for (int i : {0, 2, 4, 5}) {
        EXPECT_EQ(tree->GetInt(Numbered("v", i)), i) << i;
    }
    // Overwriting a value that moved up keeps its new place; a removed name
    // comes back at the end.
    tree->SetInt("v4", 40);
    tree->SetInt("v1", 10);
    EXPECT_EQ(ValueNames(tree), (std::vector<std::string>{"v0", "v2", "v4", "v5", "v1"}));
    EXPECT_EQ(tree->GetInt("v4"), 40);
    EXPECT_EQ(tree->GetValueKind("v3"), CFG_ValueKind::None);
}

TEST(CFG_ITree, ANodeWithThousandsOfEntriesIsWrittenReadAndCopied) {
    // 20000 values and 20000 children: finding each entry by walking the node
    // costs some 4e8 name comparisons here, many seconds even in an optimised
    // build; with an index it takes a fraction of a second in the sanitizer
    // build.
    constexpr int kCount = 20000;
    std::vector<_bstr_t> names;
    names.reserve(kCount);
    for (int i = 0; i < kCount; ++i) {
        names.push_back(Numbered("point", i));
    }
    CFG_ITreePtr tree = NewTree();
    for (int i = 0; i < kCount; ++i) {
        tree->SetInt(names[static_cast<std::size_t>(i)], i);
        tree->SetInt(Numbered("c", i, "\\n"), i);
    }
    for (int i = kCount - 1; i >= 0; --i) {
        ASSERT_EQ(tree->GetInt(names[static_cast<std::size_t>(i)]), i);
        ASSERT_EQ(tree->GetIntDefault(Numbered("c", i, "\\n"), -1), i);
    }

    EXPECT_EQ(tree->GetValueName("", 12345).utf8(), "point12345");
    EXPECT_EQ(tree->GetChildNames("")->GetItem(kCount - 1).utf8(), "c19999");
    const CFG_ITreePtr copy = CFG_CloneTree(tree);
    EXPECT_EQ(copy->GetValueCount(""), kCount);
    EXPECT_EQ(copy->GetInt("c777\\n"), 777);
}

TEST(CFG_ITree, RunningOutOfMemoryRaisesTheOutOfMemoryError) {
    CFG_ITreePtr tree = ClassLikeTree();
    {
        vxrp_test::NothrowNewFailure failing;
        ErrorOf(E_OUTOFMEMORY, [] { CFG_CreateTree(); });
        ErrorOf(E_OUTOFMEMORY, [&] { tree->GetSubTree("op_graph"); });
    }
    EXPECT_EQ(tree->GetSubTree("op_graph")->GetString("type").utf8(), "trapeze");
}

TEST(CFG_ITree, TreesFarDeeperThanTheStackAreBuiltCopiedComparedDumpedAndReleased) {
    // Far deeper than any stack could recurse (a million levels take the same
    // path, only longer: about a minute in the sanitizer build).
    constexpr int kLevels = 200000;
    std::string path;
    path.reserve(static_cast<std::size_t>(kLevels) * 2 + 8);
    for (int i = 1; i < kLevels; ++i) {
        path += "n\\";
    }
    path += "leaf";
    CFG_ITreePtr tree = NewTree();
    tree->SetString(_bstr_t::FromUtf8(path), "deep");
    {
        const CFG_ITreePtr copy = CFG_CloneTree(tree);
        EXPECT_TRUE(CFG_TreesEqual(tree, copy));
        copy->SetString(_bstr_t::FromUtf8(path), "changed");
        EXPECT_FALSE(CFG_TreesEqual(tree, copy));
    }
    // The dump of a deep tree stays linear in its size: the indentation stops
    // growing and the level is written out instead.
    CFG_ITreePtr shallower = NewTree();
    shallower->SetString(_bstr_t::FromUtf8(path.substr(path.size() - 2 * 1000)), "x");
    const std::string dump = CFG_DumpTree(shallower);
    EXPECT_NE(dump.find("[n] (level 998)\n"), std::string::npos);
    EXPECT_LT(dump.size(), std::size_t{100000});
    tree = CFG_ITreePtr();  // the release walks the levels without recursing
}
