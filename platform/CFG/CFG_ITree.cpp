#include "CFG/CFG_ITree.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr char16_t kSeparator = u'\\';

struct CFG_Value {
    _bstr_t name;
    CFG_ValueKind kind = CFG_ValueKind::String;
    _bstr_t text;    // for string values; never null
    int number = 0;  // for integer values
};

// Positions of a node's entries by name. A key views the name buffer of the
// entry it indexes: a _bstr_t never changes or moves its text, so the view stays
// valid for as long as the entry keeps its name; whoever renames or removes an
// entry drops its key first.
using CFG_Index = std::unordered_map<std::u16string_view, std::size_t>;

// One node of a tree. Children are shared with the views GetSubTree hands out;
// the link back to the parent is weak so that a view may outlive its parent.
// Values and children keep their order in the vectors; the indexes beside them
// make a look-up by name take constant time, so that reading or writing a node
// with many entries stays linear overall.
struct CFG_Node {
    _bstr_t name;
    std::weak_ptr<CFG_Node> parent;
    std::vector<CFG_Value> values;
    std::vector<std::shared_ptr<CFG_Node>> children;
    CFG_Index valueIndex;
    CFG_Index childIndex;

    CFG_Value* find_value(std::u16string_view key) {
        const auto it = valueIndex.find(key);
        return it == valueIndex.end() ? nullptr : &values[it->second];
    }

    // Appends a value named key, which must not be present yet.
    CFG_Value& add_value(std::u16string_view key) {
        CFG_Value& added = values.emplace_back();
        try {
            added.name = _bstr_t(std::u16string(key));
            valueIndex.emplace(added.name.view(), values.size() - 1);
        } catch (...) {
            values.pop_back();
            throw;
        }
        return added;
    }

    // Removes the value named key; later values move up one place.
    bool remove_value(std::u16string_view key) {
        const auto it = valueIndex.find(key);
        if (it == valueIndex.end()) {
            return false;
        }
        const std::size_t position = it->second;
        valueIndex.erase(it);
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(position));
        for (std::size_t i = position; i < values.size(); ++i) {
            valueIndex[values[i].name.view()] = i;
        }
        return true;
    }

    std::shared_ptr<CFG_Node> find_child(std::u16string_view key) const {
        const auto it = childIndex.find(key);
        return it == childIndex.end() ? nullptr : children[it->second];
    }

    // Appends child, whose name must not be taken by another child yet.
    void add_child(std::shared_ptr<CFG_Node> child) {
        children.push_back(std::move(child));
        try {
            childIndex.emplace(children.back()->name.view(), children.size() - 1);
        } catch (...) {
            children.pop_back();
            throw;
        }
    }

    CFG_Node() = default;
    CFG_Node(const CFG_Node&) = delete;
    CFG_Node& operator=(const CFG_Node&) = delete;

    // Releases the subtree without recursing once per level, so that a tree
    // of any depth can be released. Nodes still held elsewhere (by a view)
    // only lose this reference.
    ~CFG_Node() {
        std::vector<std::shared_ptr<CFG_Node>> pending;
        try {
            pending = std::move(children);
            while (!pending.empty()) {
                std::shared_ptr<CFG_Node> node = std::move(pending.back());
                pending.pop_back();
                if (node.use_count() == 1) {
                    for (std::shared_ptr<CFG_Node>& child : node->children) {
                        pending.push_back(std::move(child));
                    }
                    node->children.clear();
                }
            }
        } catch (const std::bad_alloc&) {
            // The work list could not grow: what is left goes level by level.
        }
    }

    // Gives child (one of this node's) a new name not taken by a sibling.
    void rename_child(CFG_Node& child, const _bstr_t& newName) {
        // The index entry is re-keyed in place; with room reserved first,
        // nothing below allocates, so the name and its key cannot part.
        childIndex.reserve(childIndex.size() + 1);
        auto entry = childIndex.extract(child.name.view());
        child.name = newName;
        if (!entry.empty()) {
            entry.key() = child.name.view();
            childIndex.insert(std::move(entry));
        }
    }
};

// Pieces joined into one string, sized once. Messages are built this way rather
// than with operator+ chains: at -O3, GCC 12 reports a false -Wrestrict overlap
// inside `const char* + std::string&&` (GCC bug 105329).
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

// Never null: a missing or null text becomes the empty string.
_bstr_t non_null(const _bstr_t& text) {
    return text.is_null() ? _bstr_t(u"") : text;
}

std::string quoted(std::u16string_view text) {
    return concat({"\"", COM_Utf16ToUtf8(text), "\""});
}

[[noreturn]] void raise(HRESULT hr, const char* op, const _bstr_t& path, const std::string& why) {
    COM_RaiseError(hr, concat({"CFG_ITree::", op, "(", quoted(path.view()), "): ", why}));
}

bool is_valid_part(std::u16string_view name) {
    return !name.empty() && name.find(kSeparator) == std::u16string_view::npos;
}

// The parts of a path; an empty part raises E_INVALIDARG.
std::vector<std::u16string_view> split_path(const char* op, const _bstr_t& path) {
    std::vector<std::u16string_view> parts;
    const std::u16string_view text = path.view();
    if (text.empty()) {
        return parts;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(kSeparator, start);
        const std::u16string_view part =
            text.substr(start, end == std::u16string_view::npos ? end : end - start);
        if (part.empty()) {
            raise(E_INVALIDARG, op, path, "the path has an empty part");
        }
        parts.push_back(part);
        if (end == std::u16string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// Parses a whole decimal integer ("-12", "007"); false for anything else.
bool parse_int(std::u16string_view text, int& result) {
    bool negative = false;
    std::size_t i = 0;
    if (!text.empty() && text[0] == u'-') {
        negative = true;
        i = 1;
    }
    if (i == text.size()) {
        return false;
    }
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < u'0' || c > u'9') {
            return false;
        }
        magnitude = magnitude * 10 + (c - u'0');
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

_bstr_t int_text(int value) {
    return _bstr_t::FromUtf8(std::to_string(value));
}

// Copies the values of source into node (which has none yet).
void copy_values(CFG_ITree& source, CFG_Node& node) {
    const int count = source.GetValueCount(_bstr_t());
    for (int i = 0; i < count; ++i) {
        const _bstr_t name = source.GetValueName(_bstr_t(), i);
        if (!is_valid_part(name.view()) || node.find_value(name.view()) != nullptr) {
            COM_RaiseError(E_INVALIDARG,
                           concat({"CFG_ITree: cannot copy a value named ", quoted(name.view())}));
        }
        const CFG_ValueKind kind = source.GetValueKind(name);
        CFG_Value& value = node.add_value(name.view());
        if (kind == CFG_ValueKind::Int) {
            value.kind = CFG_ValueKind::Int;
            value.number = source.GetInt(name);
            value.text = _bstr_t(u"");
        } else {
            value.kind = CFG_ValueKind::String;
            value.text = non_null(source.GetString(name));
        }
    }
}

// A detached deep copy of any tree, read through the interface only. The walk
// keeps its own work list instead of recursing, so any depth can be copied.
std::shared_ptr<CFG_Node> copy_tree(CFG_ITree& source) {
    struct Pending {
        CFG_ITreePtr source;
        std::shared_ptr<CFG_Node> node;
    };
    auto root = std::make_shared<CFG_Node>();
    root->name = non_null(source.GetNodeName());
    copy_values(source, *root);
    std::vector<Pending> pending;
    CFG_ITree* from = &source;
    CFG_ITreePtr current;  // keeps the view `from` points at alive
    std::shared_ptr<CFG_Node> to = root;
    for (;;) {
        const CFG_INameListPtr names = from->GetChildNames(_bstr_t());
        for (int i = 0; i < names->GetCount(); ++i) {
            const _bstr_t name = names->GetItem(i);
            if (!is_valid_part(name.view()) || to->find_child(name.view()) != nullptr) {
                COM_RaiseError(E_INVALIDARG, concat({"CFG_ITree: cannot copy a child node named ",
                                                     quoted(name.view())}));
            }
            CFG_ITreePtr sub = from->GetSubTree(name);
            auto child = std::make_shared<CFG_Node>();
            child->name = non_null(sub->GetNodeName());
            copy_values(*sub, *child);
            child->parent = to;
            to->add_child(child);
            pending.push_back(Pending{std::move(sub), std::move(child)});
        }
        if (pending.empty()) {
            break;
        }
        current = std::move(pending.back().source);
        to = std::move(pending.back().node);
        pending.pop_back();
        from = current.GetInterfacePtr();
    }
    return root;
}

// The in-memory tree: a view of one node. Views of one node share it.
class CFG_MemTree final : public CFG_ITree {
  public:
    CFG_MemTree(std::shared_ptr<CFG_Node> node, bool bInitialised)
        : m_pNode(std::move(node)), m_bInitialised(bInitialised) {}

    void Init() override { m_bInitialised = true; }

    void SetString(const _bstr_t& path, const _bstr_t& value) override {
        store(value_slot("SetString", path), CFG_ValueKind::String, non_null(value), 0);
    }

    _bstr_t GetString(const _bstr_t& path) override {
        const CFG_Value* value = find_value("GetString", path);
        if (value == nullptr) {
            return _bstr_t(u"");
        }
        return value->kind == CFG_ValueKind::Int ? int_text(value->number) : value->text;
    }

    void SetInt(const _bstr_t& path, int value) override {
        store(value_slot("SetInt", path), CFG_ValueKind::Int, _bstr_t(u""), value);
    }

    int GetInt(const _bstr_t& path) override {
        const CFG_Value* value = find_value("GetInt", path);
        if (value == nullptr) {
            raise(COM_E_NOTFOUND, "GetInt", path, "no such value");
        }
        return int_of("GetInt", path, *value);
    }

    int GetIntDefault(const _bstr_t& path, int defaultValue) override {
        const CFG_Value* value = find_value("GetIntDefault", path);
        return value == nullptr ? defaultValue : int_of("GetIntDefault", path, *value);
    }

    CFG_ITreePtr GetSubTree(const _bstr_t& path) override {
        return make_view(existing_node("GetSubTree", path), true);
    }

    CFG_INameListPtr GetChildNames(const _bstr_t& path) override {
        const std::shared_ptr<CFG_Node> node = existing_node("GetChildNames", path);
        std::vector<_bstr_t> names;
        names.reserve(node->children.size());
        for (const auto& child : node->children) {
            names.push_back(child->name);
        }
        return CFG_INameListPtr(new CFG_INameList(std::move(names)));
    }

    int GetValueCount(const _bstr_t& path) override {
        return static_cast<int>(existing_node("GetValueCount", path)->values.size());
    }

    _bstr_t GetValueName(const _bstr_t& path, int index) override {
        const std::shared_ptr<CFG_Node> node = existing_node("GetValueName", path);
        if (index < 0 || static_cast<std::size_t>(index) >= node->values.size()) {
            raise(DISP_E_BADINDEX, "GetValueName", path,
                  concat({"value index ", std::to_string(index), " is outside 0..",
                          std::to_string(static_cast<long long>(node->values.size()) - 1)}));
        }
        return node->values[static_cast<std::size_t>(index)].name;
    }

    void SetNodeName(const _bstr_t& path, const _bstr_t& name) override {
        const std::shared_ptr<CFG_Node> node = existing_node("SetNodeName", path);
        if (const std::shared_ptr<CFG_Node> parent = node->parent.lock()) {
            if (!is_valid_part(name.view())) {
                raise(E_INVALIDARG, "SetNodeName", path,
                      concat({"a child node cannot be named ", quoted(name.view())}));
            }
            const std::shared_ptr<CFG_Node> sibling = parent->find_child(name.view());
            if (sibling && sibling != node) {
                raise(COM_E_ALREADYEXISTS, "SetNodeName", path,
                      concat({"a sibling node is already named ", quoted(name.view())}));
            }
            parent->rename_child(*node, name);
            return;
        }
        node->name = non_null(name);
    }

    void AddSubTree(const _bstr_t& path, const CFG_ITreePtr& tree) override {
        const std::shared_ptr<CFG_Node> target = existing_node("AddSubTree", path);
        if (!tree) {
            raise(E_POINTER, "AddSubTree", path, "the tree to add is null");
        }
        const _bstr_t name = tree->GetNodeName();
        if (!is_valid_part(name.view())) {
            raise(E_INVALIDARG, "AddSubTree", path,
                  concat({"the tree to add has no usable node name: ", quoted(name.view())}));
        }
        if (target->find_child(name.view())) {
            raise(COM_E_ALREADYEXISTS, "AddSubTree", path,
                  concat({"a child node is already named ", quoted(name.view())}));
        }
        // Copy first: the tree may be this one, and a failed copy leaves this
        // tree untouched.
        std::shared_ptr<CFG_Node> copy = copy_tree(*tree);
        copy->parent = target;
        target->add_child(std::move(copy));
    }

    _bstr_t GetNodeName() override {
        require_init("GetNodeName", _bstr_t());
        return m_pNode->name;
    }

    CFG_ValueKind GetValueKind(const _bstr_t& path) override {
        const CFG_Value* value = find_value("GetValueKind", path);
        return value == nullptr ? CFG_ValueKind::None : value->kind;
    }

    void RemoveValue(const _bstr_t& path) override {
        const std::vector<std::u16string_view> parts = value_parts("RemoveValue", path);
        const std::shared_ptr<CFG_Node> node = walk(parts, parts.size() - 1, false);
        if (node && node->remove_value(parts.back())) {
            return;
        }
        raise(COM_E_NOTFOUND, "RemoveValue", path, "no such value");
    }

    static CFG_ITreePtr make_view(std::shared_ptr<CFG_Node> node, bool bInitialised) {
        CFG_MemTree* tree = new (std::nothrow) CFG_MemTree(std::move(node), bInitialised);
        if (tree == nullptr) {
            COM_RaiseError(E_OUTOFMEMORY, "CFG_ITree: out of memory");
        }
        return CFG_ITreePtr(tree);
    }

  private:
    ~CFG_MemTree() override = default;

    void require_init(const char* op, const _bstr_t& path) const {
        if (!m_bInitialised) {
            raise(E_UNEXPECTED, op, path, "the tree was not initialised (call Init first)");
        }
    }

    // The node reached by the first count parts; missing children are created
    // when bCreate is set, otherwise a missing child answers null.
    std::shared_ptr<CFG_Node> walk(const std::vector<std::u16string_view>& parts, std::size_t count,
                                   bool bCreate) const {
        std::shared_ptr<CFG_Node> node = m_pNode;
        for (std::size_t i = 0; i < count; ++i) {
            std::shared_ptr<CFG_Node> child = node->find_child(parts[i]);
            if (!child) {
                if (!bCreate) {
                    return nullptr;
                }
                child = std::make_shared<CFG_Node>();
                child->name = _bstr_t(std::u16string(parts[i]));
                child->parent = node;
                node->add_child(child);
            }
            node = std::move(child);
        }
        return node;
    }

    std::shared_ptr<CFG_Node> existing_node(const char* op, const _bstr_t& path) const {
        require_init(op, path);
        const std::vector<std::u16string_view> parts = split_path(op, path);
        std::shared_ptr<CFG_Node> node = walk(parts, parts.size(), false);
        if (!node) {
            raise(COM_E_NOTFOUND, op, path, "no such child node");
        }
        return node;
    }

    std::vector<std::u16string_view> value_parts(const char* op, const _bstr_t& path) const {
        require_init(op, path);
        std::vector<std::u16string_view> parts = split_path(op, path);
        if (parts.empty()) {
            raise(E_INVALIDARG, op, path, "a value needs a name");
        }
        return parts;
    }

    // The value at path, or null when it or a child on the way is missing.
    const CFG_Value* find_value(const char* op, const _bstr_t& path) const {
        const std::vector<std::u16string_view> parts = value_parts(op, path);
        const std::shared_ptr<CFG_Node> node = walk(parts, parts.size() - 1, false);
        return node ? node->find_value(parts.back()) : nullptr;
    }

    // The value at path, created (with the children on the way) when missing.
    CFG_Value& value_slot(const char* op, const _bstr_t& path) {
        const std::vector<std::u16string_view> parts = value_parts(op, path);
        const std::shared_ptr<CFG_Node> node = walk(parts, parts.size() - 1, true);
        if (CFG_Value* existing = node->find_value(parts.back())) {
            return *existing;
        }
        return node->add_value(parts.back());
    }

    static void store(CFG_Value& slot, CFG_ValueKind kind, const _bstr_t& text, int number) {
        slot.kind = kind;
        slot.text = text;
        slot.number = number;
    }

    static int int_of(const char* op, const _bstr_t& path, const CFG_Value& value) {
        if (value.kind == CFG_ValueKind::Int) {
            return value.number;
        }
        int result = 0;
        if (!parse_int(value.text.view(), result)) {
            raise(DISP_E_TYPEMISMATCH, op, path,
                  concat({"the value ", quoted(value.text.view()), " is not an integer"}));
        }
        return result;
    }

    std::shared_ptr<CFG_Node> m_pNode;
    bool m_bInitialised;
};

// Indentation stops growing at this depth; deeper node lines say their level.
constexpr int kMaxDumpIndent = 32;

void dump_values(CFG_ITree& tree, const std::string& indent, std::string& out) {
    const int count = tree.GetValueCount(_bstr_t());
    for (int i = 0; i < count; ++i) {
        const _bstr_t name = tree.GetValueName(_bstr_t(), i);
        out.append(indent).append("  ").append(name.utf8()).append(" = ");
        if (tree.GetValueKind(name) == CFG_ValueKind::Int) {
            out += std::to_string(tree.GetInt(name));
        } else {
            out += quoted(tree.GetString(name).view());
        }
        out += "\n";
    }
}

// Depth first, children in order, with a work list instead of recursion.
void dump_tree(const CFG_ITreePtr& root, std::string& out) {
    struct Pending {
        CFG_ITreePtr tree;
        int depth;
    };
    std::vector<Pending> pending{Pending{root, 0}};
    while (!pending.empty()) {
        const Pending next = std::move(pending.back());
        pending.pop_back();
        const int shown = next.depth < kMaxDumpIndent ? next.depth : kMaxDumpIndent;
        const std::string indent(static_cast<std::size_t>(shown) * 2, ' ');
        out.append(indent).append("[").append(next.tree->GetNodeName().utf8()).append("]");
        if (next.depth > kMaxDumpIndent) {
            out.append(" (level ").append(std::to_string(next.depth)).append(")");
        }
        out += "\n";
        dump_values(*next.tree, indent, out);
        const CFG_INameListPtr names = next.tree->GetChildNames(_bstr_t());
        for (int i = names->GetCount() - 1; i >= 0; --i) {
            pending.push_back(Pending{next.tree->GetSubTree(names->GetItem(i)), next.depth + 1});
        }
    }
}

bool values_equal(CFG_ITree& a, CFG_ITree& b) {
    if (a.GetNodeName() != b.GetNodeName()) {
        return false;
    }
    const int count = a.GetValueCount(_bstr_t());
    if (count != b.GetValueCount(_bstr_t())) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const _bstr_t name = a.GetValueName(_bstr_t(), i);
        if (name != b.GetValueName(_bstr_t(), i)) {
            return false;
        }
        const CFG_ValueKind kind = a.GetValueKind(name);
        if (kind != b.GetValueKind(name)) {
            return false;
        }
        if (kind == CFG_ValueKind::Int ? a.GetInt(name) != b.GetInt(name)
                                       : a.GetString(name) != b.GetString(name)) {
            return false;
        }
    }
    return true;
}

// Node by node with a work list instead of recursion.
bool trees_equal(const CFG_ITreePtr& rootA, const CFG_ITreePtr& rootB) {
    std::vector<std::pair<CFG_ITreePtr, CFG_ITreePtr>> pending{{rootA, rootB}};
    while (!pending.empty()) {
        const std::pair<CFG_ITreePtr, CFG_ITreePtr> next = std::move(pending.back());
        pending.pop_back();
        CFG_ITree& a = *next.first;
        CFG_ITree& b = *next.second;
        if (!values_equal(a, b)) {
            return false;
        }
        const CFG_INameListPtr namesA = a.GetChildNames(_bstr_t());
        const CFG_INameListPtr namesB = b.GetChildNames(_bstr_t());
        if (namesA->GetCount() != namesB->GetCount()) {
            return false;
        }
        for (int i = namesA->GetCount() - 1; i >= 0; --i) {
            const _bstr_t name = namesA->GetItem(i);
            if (name != namesB->GetItem(i)) {
                return false;
            }
            pending.emplace_back(a.GetSubTree(name), b.GetSubTree(name));
        }
    }
    return true;
}

}  // namespace

_bstr_t CFG_INameList::GetItem(int index) const {
    if (index < 0 || index >= GetCount()) {
        return _bstr_t();
    }
    return m_Names[static_cast<std::size_t>(index)];
}

CFG_ITreePtr CFG_CreateTree() {
    std::shared_ptr<CFG_Node> node;
    try {
        node = std::make_shared<CFG_Node>();
        node->name = _bstr_t(u"");
    } catch (const std::bad_alloc&) {
        COM_RaiseError(E_OUTOFMEMORY, "CFG_CreateTree: out of memory");
    }
    return CFG_MemTree::make_view(std::move(node), false);
}

CFG_ITreePtr CFG_CloneTree(const CFG_ITreePtr& tree) {
    std::shared_ptr<CFG_Node> copy = copy_tree(*tree);
    return CFG_MemTree::make_view(std::move(copy), true);
}

bool CFG_TreesEqual(const CFG_ITreePtr& a, const CFG_ITreePtr& b) {
    if (!a || !b) {
        return !a && !b;
    }
    return trees_equal(a, b);
}

std::string CFG_DumpTree(const CFG_ITreePtr& tree) {
    if (!tree) {
        return "(null tree)\n";
    }
    std::string out;
    dump_tree(tree, out);
    return out;
}
