#include "CFG/CFG_TreeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <pugixml.hpp>
#include <sstream>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

constexpr const char* kRootElement = "cfg_tree";
constexpr const char* kFormatAttribute = "format";
constexpr const char* kFormatVersion = "1";
constexpr const char* kNodeElement = "node";
constexpr const char* kStringElement = "string";
constexpr const char* kIntElement = "int";
constexpr const char* kNameAttribute = "name";
constexpr const char* kValueAttribute = "value";

// Escapes are decoded; CDATA, declarations and document types are kept so that
// they can be checked and refused; attribute values and line ends are kept as
// they are, so every character written reads back.
constexpr unsigned int kParseOptions =
    pugi::parse_escapes | pugi::parse_cdata | pugi::parse_declaration | pugi::parse_doctype;

std::string concat(std::initializer_list<std::string_view> pieces) {
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
        size += piece.size();
    }
    std::string out;
    out.reserve(size);
    for (const std::string_view piece : pieces) {
        out.append(piece);
    }
    return out;
}

std::string quoted(std::string_view text) {
    // Long texts (a huge attribute) are cut so that a message stays readable.
    constexpr std::size_t kShown = 60;
    if (text.size() > kShown) {
        return concat({"\"", text.substr(0, kShown), "\"..."});
    }
    return concat({"\"", text, "\""});
}

[[noreturn]] void raise_access(const char* op, const std::string& path, const std::string& why) {
    COM_RaiseError(CFG_E_FILEACCESS, concat({op, "(", quoted(path), "): ", why}));
}

std::string errno_text(int error) {
    return std::strerror(error);
}

// The length of the valid UTF-8 sequence at text[i], or 0 when it is not one
// (overlong forms, surrogates and values beyond U+10FFFF are invalid).
std::size_t utf8_sequence(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - i < length) {
        return 0;
    }
    if (byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Parses a whole decimal 32-bit integer ("-12", "007"); false for anything else.
bool parse_int(std::string_view text, int& result) {
    bool negative = false;
    std::size_t i = 0;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        i = 1;
    }
    if (i == text.size()) {
        return false;
    }
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL) {
            return false;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > 2147483647LL) {
        return false;
    }
    result = static_cast<int>(value);
    return true;
}

bool is_valid_part(std::string_view name) {
    return !name.empty() && name.find('\\') == std::string_view::npos;
}

// --- reading ------------------------------------------------------------------

class TreeReader {
  public:
    TreeReader(const char* op, std::string_view text, const std::string& source)
        : m_op(op), m_text(text), m_source(source) {}

    CFG_ITreePtr read() {
        if (m_text.size() > kCFG_MaxFileBytes) {
            fail(0, concat({"the text is ", std::to_string(m_text.size()),
                            " bytes long; a tree file holds at most ",
                            std::to_string(kCFG_MaxFileBytes)}));
        }
        check_encoding();
        pugi::xml_document document;
        const pugi::xml_parse_result result =
            document.load_buffer(m_text.data(), m_text.size(), kParseOptions, pugi::encoding_utf8);
        if (result.status == pugi::status_out_of_memory) {
            COM_RaiseError(E_OUTOFMEMORY,
                           concat({m_op, "(", quoted(m_source), "): out of memory"}));
        }
        if (!result) {
            fail(static_cast<std::size_t>(result.offset),
                 concat({"malformed XML: ", result.description()}));
        }
        const pugi::xml_node root = document_root(document);
        check_attributes(root, {kFormatAttribute});
        const std::string_view format = required(root, kFormatAttribute).value();
        if (format != kFormatVersion) {
            fail(offset(root), concat({"unsupported format ", quoted(format),
                                       " (this reader knows ", quoted(kFormatVersion), ")"}));
        }
        pugi::xml_node top;
        for (const pugi::xml_node child : root.children()) {
            check_no_text(child, root);
            if (std::string_view(child.name()) != kNodeElement) {
                fail(offset(child), concat({"<", kRootElement, "> holds only one <", kNodeElement,
                                            ">, not <", child.name(), ">"}));
            }
            if (top) {
                fail(offset(child),
                     concat({"<", kRootElement, "> holds only one <", kNodeElement, ">"}));
            }
            top = child;
        }
        if (!top) {
            fail(offset(root), concat({"<", kRootElement, "> holds no <", kNodeElement, ">"}));
        }
        return build(top);
    }

  private:
    struct Pending {
        pugi::xml_node element;
        CFG_ITreePtr tree;
        int depth;
    };

    [[noreturn]] void fail(std::size_t at, const std::string& why) const {
        std::size_t line = 1;
        std::size_t lineStart = 0;
        const std::size_t end = at < m_text.size() ? at : m_text.size();
        for (std::size_t i = 0; i < end; ++i) {
            if (m_text[i] == '\n') {
                ++line;
                lineStart = i + 1;
            }
        }
        COM_RaiseError(CFG_E_FILEFORMAT,
                       concat({m_op, "(", quoted(m_source), "): line ", std::to_string(line),
                               ", column ", std::to_string(end - lineStart + 1), " (offset ",
                               std::to_string(at), "): ", why}));
    }

    // Where the node starts: the parser tells where an element's name is, one
    // past its "<".
    static std::size_t offset(const pugi::xml_node& node) {
        const std::ptrdiff_t at = node.offset_debug();
        if (at <= 0) {
            return 0;
        }
        return static_cast<std::size_t>(node.type() == pugi::node_element ? at - 1 : at);
    }

    // Invalid UTF-8 and NUL bytes are refused before the XML parser sees them.
    void check_encoding() const {
        std::size_t i = 0;
        while (i < m_text.size()) {
            if (m_text[i] == '\0') {
                fail(i, "a NUL byte");
            }
            const std::size_t length = utf8_sequence(m_text, i);
            if (length == 0) {
                fail(i, "invalid UTF-8");
            }
            i += length;
        }
    }

    pugi::xml_node document_root(const pugi::xml_document& document) const {
        pugi::xml_node root;
        for (const pugi::xml_node node : document.children()) {
            switch (node.type()) {
                case pugi::node_declaration: {
                    const std::string_view encoding = node.attribute("encoding").value();
                    if (!encoding.empty() && !equals_ignoring_case(encoding, "UTF-8")) {
                        fail(offset(node), concat({"the encoding ", quoted(encoding),
                                                   " is not supported (tree files are UTF-8)"}));
                    }
                    break;
                }
                case pugi::node_doctype:
                    fail(offset(node), "a document type declaration is not accepted");
                case pugi::node_element:
                    if (root) {
                        fail(offset(node), "a second top-level element");
                    }
                    root = node;
                    break;
                default:
                    fail(offset(node), "text outside the top-level element");
            }
        }
        if (!root) {
            fail(m_text.size(), concat({"no <", kRootElement, "> element"}));
        }
        if (std::string_view(root.name()) != kRootElement) {
            fail(offset(root), concat({"the top-level element is <", root.name(), ">, not <",
                                       kRootElement, ">"}));
        }
        return root;
    }

    static bool equals_ignoring_case(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            const auto lower = [](char c) {
                return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            };
            if (lower(a[i]) != lower(b[i])) {
                return false;
            }
        }
        return true;
    }

    void check_no_text(const pugi::xml_node& node, const pugi::xml_node& parent) const {
        if (node.type() != pugi::node_element) {
            fail(offset(node), concat({"text is not allowed inside <", parent.name(), ">"}));
        }
    }

    // Every attribute is one of `allowed`, and none appears twice.
    void check_attributes(const pugi::xml_node& element,
                          std::initializer_list<std::string_view> allowed) const {
        std::vector<std::string_view> seen;
        for (const pugi::xml_attribute attribute : element.attributes()) {
            const std::string_view name = attribute.name();
            bool known = false;
            for (const std::string_view candidate : allowed) {
                known = known || candidate == name;
            }
            if (!known) {
                fail(offset(element),
                     concat({"<", element.name(), "> has an unknown attribute ", quoted(name)}));
            }
            for (const std::string_view before : seen) {
                if (before == name) {
                    fail(offset(element), concat({"<", element.name(), "> has the attribute ",
                                                  quoted(name), " twice"}));
                }
            }
            seen.push_back(name);
        }
    }

    pugi::xml_attribute required(const pugi::xml_node& element, const char* name) const {
        const pugi::xml_attribute attribute = element.attribute(name);
        if (!attribute) {
            fail(offset(element),
                 concat({"<", element.name(), "> lacks the attribute ", quoted(name)}));
        }
        return attribute;
    }

    CFG_ITreePtr build(const pugi::xml_node& top) const {
        check_attributes(top, {kNameAttribute});
        CFG_ITreePtr tree = CFG_CreateTree();
        tree->Init();
        tree->SetNodeName(_bstr_t(), _bstr_t::FromUtf8(required(top, kNameAttribute).value()));
        std::vector<Pending> pending;
        pending.push_back({top, tree, 1});
        while (!pending.empty()) {
            const Pending item = std::move(pending.back());
            pending.pop_back();
            read_node(item, pending);
        }
        return tree;
    }

    // Fills item.tree with the values of item.element and creates its children,
    // which are queued to be filled in turn.
    void read_node(const Pending& item, std::vector<Pending>& pending) const {
        std::unordered_set<std::string_view> childNames;
        for (const pugi::xml_node child : item.element.children()) {
            check_no_text(child, item.element);
            const std::string_view kind = child.name();
            if (kind == kNodeElement) {
                check_attributes(child, {kNameAttribute});
                const std::string_view name = required(child, kNameAttribute).value();
                if (!is_valid_part(name)) {
                    fail(offset(child), concat({"a child node cannot be named ", quoted(name),
                                                " (empty, or holding \"\\\")"}));
                }
                if (!childNames.insert(name).second) {
                    fail(offset(child), concat({"a second child node named ", quoted(name)}));
                }
                if (item.depth >= kCFG_MaxFileDepth) {
                    fail(offset(child), concat({"nodes nest deeper than ",
                                                std::to_string(kCFG_MaxFileDepth), " levels"}));
                }
                const _bstr_t childName = _bstr_t::FromUtf8(name);
                CFG_ITreePtr empty = CFG_CreateTree();
                empty->Init();
                empty->SetNodeName(_bstr_t(), childName);
                item.tree->AddSubTree(_bstr_t(), empty);
                pending.push_back({child, item.tree->GetSubTree(childName), item.depth + 1});
            } else if (kind == kStringElement || kind == kIntElement) {
                read_value(child, kind == kIntElement, *item.tree);
            } else {
                fail(offset(child),
                     concat({"unknown element <", child.name(), "> (a <", kNodeElement, "> holds <",
                             kNodeElement, ">, <", kStringElement, "> and <", kIntElement, ">)"}));
            }
        }
    }

    void read_value(const pugi::xml_node& element, bool isInt, CFG_ITree& tree) const {
        check_attributes(element, {kNameAttribute, kValueAttribute});
        const std::string_view name = required(element, kNameAttribute).value();
        const std::string_view text = required(element, kValueAttribute).value();
        if (element.first_child()) {
            fail(offset(element.first_child()),
                 concat({"<", element.name(), "> holds nothing (its text is its ",
                         quoted(kValueAttribute), " attribute)"}));
        }
        if (!is_valid_part(name)) {
            fail(offset(element),
                 concat({"a value cannot be named ", quoted(name), " (empty, or holding \"\\\")"}));
        }
        const _bstr_t valueName = _bstr_t::FromUtf8(name);
        if (tree.GetValueKind(valueName) != CFG_ValueKind::None) {
            fail(offset(element), concat({"a second value named ", quoted(name)}));
        }
        if (isInt) {
            int number = 0;
            if (!parse_int(text, number)) {
                fail(offset(element),
                     concat({"<", kIntElement, "> ", quoted(name), " has the value ", quoted(text),
                             ", which is not a 32-bit integer"}));
            }
            tree.SetInt(valueName, number);
        } else {
            tree.SetString(valueName, _bstr_t::FromUtf8(text));
        }
    }

    const char* m_op;
    std::string_view m_text;
    const std::string& m_source;
};

// --- writing ------------------------------------------------------------------

[[noreturn]] void refuse(const std::string& why) {
    COM_RaiseError(CFG_E_FILEFORMAT, concat({"CFG_WriteTreeText: ", why}));
}

// The text as UTF-8; a NUL character cannot be stored (XML has no way to say it).
std::string storable(const _bstr_t& text, const char* what) {
    const std::u16string_view units = text.view();
    if (units.find(u'\0') != std::u16string_view::npos) {
        refuse(concat({"the ", what, " ", quoted(text.utf8()), " holds a NUL character"}));
    }
    return text.utf8();
}

struct WriteItem {
    CFG_ITreePtr tree;
    pugi::xml_node element;
    int depth;
};

void write_node(const WriteItem& item, std::vector<WriteItem>& pending) {
    CFG_ITree& tree = *item.tree;
    pugi::xml_node element = item.element;
    const int count = tree.GetValueCount(_bstr_t());
    for (int i = 0; i < count; ++i) {
        const _bstr_t name = tree.GetValueName(_bstr_t(), i);
        const std::string utf8Name = storable(name, "value name");
        if (!is_valid_part(utf8Name)) {
            refuse(concat({"a value cannot be named ", quoted(utf8Name)}));
        }
        const bool isInt = tree.GetValueKind(name) == CFG_ValueKind::Int;
        pugi::xml_node value = element.append_child(isInt ? kIntElement : kStringElement);
        value.append_attribute(kNameAttribute).set_value(utf8Name.c_str());
        const std::string text = isInt ? std::to_string(tree.GetInt(name))
                                       : storable(tree.GetString(name), "value text");
        value.append_attribute(kValueAttribute).set_value(text.c_str());
    }
    const CFG_INameListPtr names = tree.GetChildNames(_bstr_t());
    const int children = names->GetCount();
    if (children > 0 && item.depth >= kCFG_MaxFileDepth) {
        refuse(concat({"nodes nest deeper than ", std::to_string(kCFG_MaxFileDepth), " levels"}));
    }
    for (int i = 0; i < children; ++i) {
        const _bstr_t name = names->GetItem(i);
        const std::string utf8Name = storable(name, "node name");
        if (!is_valid_part(utf8Name)) {
            refuse(concat({"a child node cannot be named ", quoted(utf8Name)}));
        }
        pugi::xml_node child = element.append_child(kNodeElement);
        child.append_attribute(kNameAttribute).set_value(utf8Name.c_str());
        pending.push_back({tree.GetSubTree(name), child, item.depth + 1});
    }
}

std::atomic<unsigned long> g_nTemporaryCounter{0};

}  // namespace

std::string CFG_WriteTreeText(const CFG_ITreePtr& tree) {
    if (!tree) {
        COM_RaiseError(E_POINTER, "CFG_WriteTreeText: the tree is null");
    }
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");
    pugi::xml_node root = document.append_child(kRootElement);
    root.append_attribute(kFormatAttribute).set_value(kFormatVersion);
    pugi::xml_node top = root.append_child(kNodeElement);
    top.append_attribute(kNameAttribute)
        .set_value(storable(tree->GetNodeName(), "node name").c_str());
    std::vector<WriteItem> pending;
    pending.push_back({tree, top, 1});
    while (!pending.empty()) {
        const WriteItem item = std::move(pending.back());
        pending.pop_back();
        write_node(item, pending);
    }
    std::ostringstream out;
    document.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

CFG_ITreePtr CFG_ReadTreeText(std::string_view text, const std::string& sourceName) {
    return TreeReader("CFG_ReadTreeText", text, sourceName).read();
}

void CFG_SaveTreeFile(const CFG_ITreePtr& tree, const std::string& path) {
    constexpr const char* kOp = "CFG_SaveTreeFile";
    const std::string text = CFG_WriteTreeText(tree);
    const std::string temporary =
        concat({path, ".tmp-", std::to_string(static_cast<long>(::getpid())), "-",
                std::to_string(g_nTemporaryCounter.fetch_add(1))});
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        raise_access(kOp, path,
                     concat({"cannot create ", quoted(temporary), ": ", errno_text(errno)}));
    }
    const auto abandon = [&](const std::string& why) {
        ::close(fd);
        ::unlink(temporary.c_str());
        raise_access(kOp, path, why);
    };
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            abandon(concat({"cannot write ", quoted(temporary), ": ", errno_text(errno)}));
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        abandon(concat({"cannot flush ", quoted(temporary), ": ", errno_text(errno)}));
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        raise_access(kOp, path,
                     concat({"cannot close ", quoted(temporary), ": ", errno_text(error)}));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        raise_access(kOp, path, concat({"cannot replace the file: ", errno_text(error)}));
    }
}

CFG_ITreePtr CFG_LoadTreeFile(const std::string& path) {
    constexpr const char* kOp = "CFG_LoadTreeFile";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        raise_access(kOp, path, concat({"cannot open: ", errno_text(errno)}));
    }
    std::string text;
    try {
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            raise_access(kOp, path, concat({"cannot examine: ", errno_text(errno)}));
        }
        if (S_ISDIR(info.st_mode)) {
            raise_access(kOp, path, "is a directory");
        }
        if (!S_ISREG(info.st_mode)) {
            raise_access(kOp, path, "is not a regular file");
        }
        if (static_cast<std::uintmax_t>(info.st_size) > kCFG_MaxFileBytes) {
            COM_RaiseError(CFG_E_FILEFORMAT, concat({kOp, "(", quoted(path), "): the file is ",
                                                     std::to_string(info.st_size),
                                                     " bytes long; a tree file holds at most ",
                                                     std::to_string(kCFG_MaxFileBytes)}));
        }
        text.resize(static_cast<std::size_t>(info.st_size));
        std::size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                raise_access(kOp, path, concat({"cannot read: ", errno_text(errno)}));
            }
            if (n == 0) {
                break;  // the file shrank while it was read: take what is there
            }
            got += static_cast<std::size_t>(n);
        }
        text.resize(got);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return TreeReader(kOp, text, path).read();
}
