#pragma once

#include <string>
#include <vector>

#include "COM/COM_BStr.h"
#include "COM/COM_Error.h"
#include "COM/COM_Ptr.h"

// The workstation's configuration tree: named nodes holding named values and
// named child nodes.
//
// Creating and holding trees
//  * CFG_CreateTree() makes a new, empty, nameless tree (in place of creating
//    the component through COM) and answers its only reference. The tree is NOT
//    initialised: call Init() once before anything else; every other operation
//    on a tree that was not initialised raises E_UNEXPECTED. A second Init()
//    does nothing.
//  * Trees are reference-counted (COM_Unknown) and held by CFG_ITreePtr. A null
//    CFG_ITreePtr is allowed; calling through it raises E_POINTER.
//
// Paths
//  * A path names a node or value below this node; its parts are separated by
//    "\" (backslash). The empty path "" (or a null string) is this node. For a
//    value operation all parts but the last name child nodes and the last part
//    names the value; for a node operation every part names a child node.
//  * A path with an empty part (two "\" in a row, or a leading or trailing "\")
//    raises E_INVALIDARG from every operation, reading ones included: it is a
//    caller's mistake, not a missing entry. So does a value operation with the
//    empty path: a node has no value of its own.
//  * Names compare case-sensitively, code unit by code unit ("Name" and "name"
//    are two entries).
//  * Values and child nodes are separate name spaces: a node may hold a value
//    "x" and a child "x" at once; the operation says which one is meant.
//
// Values
//  * A value is either a string or an integer; the kind stays as last written
//    (SetInt over a string value makes it an integer value) and GetValueKind
//    tells them apart.
//  * GetString answers a string value as stored, an integer value as its
//    decimal text ("-12"), and an empty (never null) string when the value is
//    missing, also when a child on the way is missing.
//  * GetInt answers an integer value, or a string value whose whole text is a
//    decimal integer in range ("-12", "007"; no spaces, no "+"). Any other
//    string raises DISP_E_TYPEMISMATCH. A missing value raises COM_E_NOTFOUND.
//  * GetIntDefault is GetInt, except that a missing value (or a missing child on
//    the way) answers the default. A present value that is not an integer still
//    raises DISP_E_TYPEMISMATCH: a damaged entry is not silently replaced.
//  * Values are listed (GetValueCount, GetValueName) in the order they were
//    first written; overwriting keeps a value's place, RemoveValue drops it.
//    Child nodes are listed in the order they were added.
//  * Writing a value through children that do not exist yet creates them as
//    empty children, each appended as the last child of its parent. A null
//    string is written as an empty one.
//
// Nodes
//  * GetSubTree answers a live view of the child: writes through it change this
//    tree and the other way round. A missing child raises COM_E_NOTFOUND.
//  * AddSubTree copies the given tree (its values and children, deeply) and
//    attaches the copy under the given tree's node name as the last child of
//    the node at the path. Later changes to the given tree do not reach this
//    one, and a tree may be added to itself. The given tree must be initialised
//    (E_UNEXPECTED) and named: an empty node name or one containing "\"
//    raises E_INVALIDARG, and a child of that name already at the path raises
//    COM_E_ALREADYEXISTS; nothing is changed on failure.
//  * SetNodeName renames the node at the path. A tree that is no one's child
//    (a new tree, before it is attached) takes any name, the empty one too. A
//    child node's name must be a valid path part (not empty, no "\") and not
//    taken by a sibling (E_INVALIDARG / COM_E_ALREADYEXISTS).
//  * GetNodeName answers the node's own name; a new tree's is empty (not null).
//  * GetChildNames and GetValueCount on a missing node raise COM_E_NOTFOUND;
//    GetValueName with an index outside 0..count-1 raises DISP_E_BADINDEX.
//
// Finding a value or child by name takes constant time on average, however many
// entries a node holds; the order of listing is kept beside that index.
//
// Every failure is raised as _com_error whose description names the operation,
// the path and what was wrong. A tree is used from one thread at a time.
class CFG_ITree;
class CFG_INameList;
using CFG_ITreePtr = COM_Ptr<CFG_ITree>;
using CFG_INameListPtr = COM_Ptr<CFG_INameList>;

enum class CFG_ValueKind { None, String, Int };

// The names of a node's children at the time they were asked for, in the
// tree's order.
class CFG_INameList : public COM_Unknown {
  public:
    explicit CFG_INameList(std::vector<_bstr_t> names) : m_Names(std::move(names)) {}

    int GetCount() const { return static_cast<int>(m_Names.size()); }
    // The name at index (from 0). Callers do not look at this call's failure,
    // so an index out of range answers a null string instead of raising.
    _bstr_t GetItem(int index) const;

  private:
    std::vector<_bstr_t> m_Names;
};

class CFG_ITree : public COM_Unknown {
  public:
    virtual void Init() = 0;

    virtual void SetString(const _bstr_t& path, const _bstr_t& value) = 0;
    virtual _bstr_t GetString(const _bstr_t& path) = 0;
    virtual void SetInt(const _bstr_t& path, int value) = 0;
    virtual int GetInt(const _bstr_t& path) = 0;
    virtual int GetIntDefault(const _bstr_t& path, int defaultValue) = 0;

    virtual CFG_ITreePtr GetSubTree(const _bstr_t& path) = 0;
    virtual CFG_INameListPtr GetChildNames(const _bstr_t& path) = 0;
    virtual int GetValueCount(const _bstr_t& path) = 0;
    virtual _bstr_t GetValueName(const _bstr_t& path, int index) = 0;

    virtual void SetNodeName(const _bstr_t& path, const _bstr_t& name) = 0;
    virtual void AddSubTree(const _bstr_t& path, const CFG_ITreePtr& tree) = 0;
    virtual _bstr_t GetNodeName() = 0;

    // The kind of the value at path; None when it (or a child on the way) is
    // missing.
    virtual CFG_ValueKind GetValueKind(const _bstr_t& path) = 0;
    // Removes the value at path; a missing value raises COM_E_NOTFOUND.
    virtual void RemoveValue(const _bstr_t& path) = 0;

  protected:
    ~CFG_ITree() override = default;
};

// A new, empty, nameless tree that is not yet initialised; its only reference
// goes to the caller. Raises _com_error(E_OUTOFMEMORY) when it cannot be made.
CFG_ITreePtr CFG_CreateTree();

// A new, initialised, unattached tree with the same node name, values (kinds
// and order) and children as tree. Raises E_POINTER for a null tree.
CFG_ITreePtr CFG_CloneTree(const CFG_ITreePtr& tree);

// Whether two trees hold the same node names, values (kind, text and order)
// and children (in order), all the way down. Two null trees are equal.
bool CFG_TreesEqual(const CFG_ITreePtr& a, const CFG_ITreePtr& b);

// The tree as indented text, one line per value or node, for test messages:
//   [name]
//     key = "text"
//     count = 3
//     [child]
// Indentation stops growing after 32 levels; a node line deeper than that
// ends with " (level N)". Like the copy and the comparison above, the dump
// walks trees of any depth without recursing.
std::string CFG_DumpTree(const CFG_ITreePtr& tree);
