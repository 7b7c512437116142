#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CFG/CFG_TreeFile.h"
#include "support/TestRandom.h"
#include "support/TreeHelpers.h"

namespace {

using vxrp_test::NewTree;

namespace fs = std::filesystem;

// A folder of its own for one test, removed afterwards.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "cfg_tree_file_XXXXXX").string();
        m_Path = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(m_Path); }
    std::string operator/(const char* name) const { return (fs::path(m_Path) / name).string(); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_Path)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

  private:
    std::string m_Path;
};

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The message of the error that reading text raises; fails the test when it
// does not raise the file-format error.
std::string FormatError(const std::string& text) {
    try {
        CFG_ReadTreeText(text, "sample");
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), CFG_E_FILEFORMAT) << error.what();
        return error.what();
    }
    ADD_FAILURE() << "no error for:\n" << text;
    return {};
}

std::string Wrap(const std::string& inside) {
    return "<cfg_tree format=\"1\"><node name=\"top\">" + inside + "</node></cfg_tree>";
}

// A random tree whose names and texts use the characters XML makes hard:
// markup, quotes, blanks, line ends, control characters, non-ASCII text.
class TreeMaker : public vxrp_test::TestRandom {
  public:
    using TestRandom::TestRandom;

    CFG_ITreePtr Make() {
        CFG_ITreePtr tree = NewTree();
        tree->SetNodeName("", Text(true));
        Fill(tree, 0);
        return tree;
    }

  private:
    _bstr_t Text(bool allowBackslash) {
        static const char16_t* const kPieces[] = {
            u"a",    u"Z",         u"0",     u" ",   u"  ",     u"<",      u">",
            u"&",    u"&amp;",     u"\"",    u"'",   u"\t",     u"\n",     u"\r",
            u"\r\n", u"\x01",      u"\x1f",  u"]]>", u"\u00e9", u"\u4e2d", u"\U0001F600",
            u"=",    u"point01_x", u"class", u"\\"};
        std::u16string text;
        const int pieces = Int(0, 6);
        for (int i = 0; i < pieces; ++i) {
            const int last = allowBackslash ? 24 : 23;
            text += kPieces[Int(0, last)];
        }
        return _bstr_t(text);
    }

    _bstr_t Name() {
        const _bstr_t text = Text(false);
        return text.empty() ? _bstr_t(u"n") : text;
    }

    void Fill(const CFG_ITreePtr& tree, int depth) {
        const int values = Int(0, 5);
        for (int i = 0; i < values; ++i) {
            const _bstr_t name = Name();
            if (tree->GetValueKind(name) != CFG_ValueKind::None) {
                continue;
            }
            if (Chance(40)) {
                static const int kInts[] = {0, -1, 1, 7, 2147483647, -2147483647 - 1, 255};
                tree->SetInt(name, kInts[Int(0, 6)]);
            } else {
                tree->SetString(name, Text(true));
            }
        }
        if (depth >= 4) {
            return;
        }
        const int children = Int(0, 3);
        for (int i = 0; i < children; ++i) {
            CFG_ITreePtr child = NewTree();
            child->SetNodeName("", Name());
            Fill(child, depth + 1);
            try {
                tree->AddSubTree("", child);
            } catch (const _com_error&) {
                // a sibling of that name already: skip it
            }
        }
    }
};

TEST(CFG_TreeFile, WrittenTreesReadBackEqualAndWriteAgainByteForByte) {
    TreeMaker maker(14);
    for (int round = 0; round < 30; ++round) {
        const CFG_ITreePtr tree = maker.Make();
        const std::string text = CFG_WriteTreeText(tree);
        const CFG_ITreePtr read = CFG_ReadTreeText(text, "round trip");
        ASSERT_TRUE(CFG_TreesEqual(tree, read)) << CFG_DumpTree(tree) << "---\n"
                                                << CFG_DumpTree(read) << "---\n"
                                                << text;
        ASSERT_EQ(CFG_WriteTreeText(read), text);
    }
}

TEST(CFG_TreeFile, WritesTheDocumentedLayoutValuesBeforeChildren) {
    CFG_ITreePtr tree = NewTree("protocol");
    CFG_ITreePtr child = NewTree("class1");
    child->SetString("name", "a<b & \"c\"");
    tree->AddSubTree("", child);
    tree->SetInt("lighting", -3);
    tree->SetString("max_opacity", "0.8");
    EXPECT_EQ(CFG_WriteTreeText(tree),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<cfg_tree format=\"1\">\n"
              "  <node name=\"protocol\">\n"
              "    <int name=\"lighting\" value=\"-3\" />\n"
              "    <string name=\"max_opacity\" value=\"0.8\" />\n"
              "    <node name=\"class1\">\n"
              "      <string name=\"name\" value=\"a&lt;b &amp; &quot;c&quot;\" />\n"
              "    </node>\n"
              "  </node>\n"
              "</cfg_tree>\n");
}

TEST(CFG_TreeFile, ReadsHandWrittenFilesWithCommentsMixedOrderAndInts) {
    const CFG_ITreePtr tree = CFG_ReadTreeText(
        "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>\n"
        "<!-- a protocol -->\n"
        "<cfg_tree format='1'>\n"
        "  <node name=''>\n"
        "    <node name='b'><int name='r' value='-007'/></node>\n"
        "    <string name='s' value='x&#10;y'/>\n"
        "    <node name='a'/>\n"
        "    <int name='i' value='-2147483648'/>\n"
        "  </node>\n"
        "</cfg_tree>\n",
        "hand");
    CFG_ITreePtr expected = NewTree("");
    CFG_ITreePtr b = NewTree("b");
    b->SetInt("r", -7);
    expected->AddSubTree("", b);
    expected->AddSubTree("", NewTree("a"));
    expected->SetString("s", "x\ny");
    expected->SetInt("i", -2147483647 - 1);
    EXPECT_TRUE(CFG_TreesEqual(tree, expected)) << CFG_DumpTree(tree);
}

TEST(CFG_TreeFile, RefusesBadContentNamingThePlace) {
    const std::string deep = [] {
        std::string open;
        std::string close;
        for (int i = 0; i < 300; ++i) {
            open += "<node name=\"n\">";
            close += "</node>";
        }
        return Wrap(open + close);
    }();
    struct Case {
        const char* what;
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"empty", "", "malformed XML"},
        {"truncated", Wrap("<int name=\"a\" value=\"1\"/>").substr(0, 40), "malformed XML"},
        {"not XML", "r=1\n", "malformed XML"},
        {"wrong root", "<tree format=\"1\"><node name=\"a\"/></tree>", "is <tree>, not <cfg_tree>"},
        {"no format", "<cfg_tree><node name=\"a\"/></cfg_tree>", "lacks the attribute \"format\""},
        {"other format", "<cfg_tree format=\"2\"><node name=\"a\"/></cfg_tree>",
         "unsupported format \"2\""},
        {"no node", "<cfg_tree format=\"1\"/>", "holds no <node>"},
        {"two nodes", "<cfg_tree format=\"1\"><node name=\"a\"/><node name=\"b\"/></cfg_tree>",
         "holds only one <node>"},
        {"two roots", "<cfg_tree format=\"1\"><node name=\"a\"/></cfg_tree><cfg_tree/>",
         "a second top-level element"},
        {"node without name", Wrap("<node/>"), "lacks the attribute \"name\""},
        {"value without value", Wrap("<string name=\"a\"/>"), "lacks the attribute \"value\""},
        {"duplicate attribute", Wrap("<string name=\"a\" name=\"b\" value=\"1\"/>"),
         "the attribute \"name\" twice"},
        {"unknown attribute", Wrap("<int name=\"a\" value=\"1\" kind=\"x\"/>"),
         "unknown attribute \"kind\""},
        {"unknown element", Wrap("<float name=\"a\" value=\"1\"/>"), "unknown element <float>"},
        {"duplicate value", Wrap("<int name=\"a\" value=\"1\"/><string name=\"a\" value=\"\"/>"),
         "a second value named \"a\""},
        {"duplicate child", Wrap("<node name=\"c\"/><node name=\"c\"/>"),
         "a second child node named \"c\""},
        {"empty child name", Wrap("<node name=\"\"/>"), "cannot be named \"\""},
        {"backslash child", Wrap("<node name=\"a\\b\"/>"), "cannot be named"},
        {"backslash value", Wrap("<int name=\"op_graph\\type\" value=\"1\"/>"),
         "a value cannot be named"},
        {"int not a number", Wrap("<int name=\"r\" value=\"12a\"/>"), "not a 32-bit integer"},
        {"int too large", Wrap("<int name=\"r\" value=\"2147483648\"/>"), "not a 32-bit integer"},
        {"int with plus", Wrap("<int name=\"r\" value=\"+1\"/>"), "not a 32-bit integer"},
        {"text in node", Wrap("hello"), "text is not allowed inside <node>"},
        {"CDATA in node", Wrap("<![CDATA[x]]>"), "text is not allowed"},
        {"content in value", Wrap("<int name=\"r\" value=\"1\">2</int>"), "holds nothing"},
        {"entities",
         "<!DOCTYPE t [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>" +
             Wrap("<string name=\"s\" value=\"&b;\"/>"),
         "document type declaration"},
        {"other encoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + Wrap(""),
         "encoding \"ISO-8859-1\" is not supported"},
        {"invalid UTF-8", Wrap("<string name=\"s\" value=\"\xC3\x28\"/>"), "invalid UTF-8"},
        {"overlong UTF-8", Wrap("<string name=\"s\" value=\"\xC0\xAF\"/>"), "invalid UTF-8"},
        {"surrogate in UTF-8", Wrap("<string name=\"s\" value=\"\xED\xA0\x80\"/>"),
         "invalid UTF-8"},
        {"NUL byte", Wrap(std::string("<string name=\"s\" value=\"a\0b\"/>", 31)), "a NUL byte"},
        {"nesting too deep", deep, "nest deeper than 256 levels"},
    };
    for (const Case& c : cases) {
        const std::string message = FormatError(c.text);
        EXPECT_NE(message.find(c.message), std::string::npos) << c.what << ": " << message;
        EXPECT_NE(message.find("CFG_ReadTreeText(\"sample\"): line "), std::string::npos)
            << c.what << ": " << message;
    }
}

TEST(CFG_TreeFile, ErrorNamesLineAndColumnOfTheFault) {
    const std::string message = FormatError(
        "<cfg_tree format=\"1\">\n"
        "  <node name=\"top\">\n"
        "      <int name=\"r\" value=\"x\"/>\n"
        "  </node>\n"
        "</cfg_tree>\n");
    EXPECT_NE(message.find("line 3, column 7 (offset 48)"), std::string::npos) << message;
    EXPECT_NE(FormatError("<cfg_tree format=\"1\">\n\n  <node name=\"a\">\xFF</node></cfg_tree>")
                  .find("line 3, column 18"),
              std::string::npos);
}

TEST(CFG_TreeFile, ReadsLargeInputsWithinLimits) {
    // Over a thousand values, a long text and 256 levels are all allowed.
    std::string inside;
    for (int i = 1; i <= 1500; ++i) {
        inside += "<string name=\"point" + std::to_string(i) + "_x\" value=\"0.5\"/>";
    }
    inside += "<string name=\"huge\" value=\"" + std::string(1 << 18, 'h') + "\"/>";
    std::string open;
    std::string close;
    for (int i = 1; i < kCFG_MaxFileDepth; ++i) {
        open += "<node name=\"d\">";
        close += "</node>";
    }
    const CFG_ITreePtr tree = CFG_ReadTreeText(Wrap(inside + open + close), "large");
    EXPECT_EQ(tree->GetValueCount(""), 1501);
    EXPECT_EQ(tree->GetString("huge").length(), std::size_t{1} << 18);
    std::string deepest(2 * (kCFG_MaxFileDepth - 1) - 1, 'd');
    for (std::size_t i = 1; i < deepest.size(); i += 2) {
        deepest[i] = '\\';
    }
    EXPECT_EQ(tree->GetChildNames(_bstr_t(deepest.c_str()))->GetCount(), 0);
}

TEST(CFG_TreeFile, WriterRefusesWhatTheFormatCannotHold) {
    CFG_ITreePtr withNul = NewTree("top");
    withNul->SetString("s", _bstr_t(std::u16string(u"a\0b", 3)));
    CFG_ITreePtr deep = NewTree("top");
    {
        std::u16string path = u"n";
        for (int i = 1; i < kCFG_MaxFileDepth; ++i) {
            path += u"\\n";
        }
        deep->SetString(_bstr_t(path + u"\\v"), "x");
    }
    for (const CFG_ITreePtr& tree : {withNul, deep}) {
        try {
            CFG_WriteTreeText(tree);
            ADD_FAILURE() << "written:\n" << CFG_DumpTree(tree).substr(0, 200);
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Error(), CFG_E_FILEFORMAT) << error.what();
        }
    }
    EXPECT_THROW(CFG_WriteTreeText(CFG_ITreePtr()), _com_error);
}

TEST(CFG_TreeFile, SaveReplacesTheFileWholeAndLeavesNothingBeside) {
    TempDir dir;
    const std::string path = dir / "protocol.xml";
    CFG_ITreePtr first = NewTree("first");
    first->SetInt("v", 1);
    CFG_SaveTreeFile(first, path);
    CFG_ITreePtr second = NewTree("second");
    second->SetString("s", "text");
    CFG_SaveTreeFile(second, path);
    EXPECT_TRUE(CFG_TreesEqual(CFG_LoadTreeFile(path), second));
    EXPECT_EQ(ReadBytes(path), CFG_WriteTreeText(second));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"protocol.xml"});

    // A tree that cannot be written leaves the old file as it was.
    CFG_ITreePtr bad = NewTree("bad");
    bad->SetString("s", _bstr_t(std::u16string(u"\0", 1)));
    EXPECT_THROW(CFG_SaveTreeFile(bad, path), _com_error);
    EXPECT_EQ(ReadBytes(path), CFG_WriteTreeText(second));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"protocol.xml"});
}

TEST(CFG_TreeFile, FileErrorsNameTheFile) {
    TempDir dir;
    const std::string folder = dir / "folder";
    fs::create_directory(folder);
    struct Case {
        std::string path;
        const char* message;
    };
    const Case cases[] = {
        {dir / "missing.xml", "cannot open"},
        {folder, "is a directory"},
        {"/dev/null", "is not a regular file"},
    };
    for (const Case& c : cases) {
        try {
            CFG_LoadTreeFile(c.path);
            ADD_FAILURE() << c.path;
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Error(), CFG_E_FILEACCESS);
            const std::string message = error.what();
            EXPECT_NE(message.find("CFG_LoadTreeFile(\"" + c.path + "\")"), std::string::npos)
                << message;
            EXPECT_NE(message.find(c.message), std::string::npos) << message;
        }
    }
    // Saving over a directory or into a missing folder fails and leaves no temporary file.
    for (const std::string& path : {folder, dir / "missing/protocol.xml"}) {
        try {
            CFG_SaveTreeFile(NewTree("x"), path);
            ADD_FAILURE() << path;
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Error(), CFG_E_FILEACCESS);
            EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
        }
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"folder"});

    // Malformed content in a file names the file and the line.
    const std::string broken = dir / "broken.xml";
    WriteBytes(broken, "<cfg_tree format=\"1\">\n<node name=\"a\">\n<int name=\"r\"");
    try {
        CFG_LoadTreeFile(broken);
        ADD_FAILURE();
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), CFG_E_FILEFORMAT);
        EXPECT_NE(std::string(error.what()).find("CFG_LoadTreeFile(\"" + broken + "\"): line 3"),
                  std::string::npos)
            << error.what();
    }
}

}  // namespace
