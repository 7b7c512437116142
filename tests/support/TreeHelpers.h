#pragma once

#include <string>
#include <vector>

#include "CFG/CFG_ITree.h"

// Small helpers for tests that build configuration trees or read them back.
namespace vxrp_test {

// An initialised, empty tree whose top node is called name.
inline CFG_ITreePtr NewTree(const char* name = "") {
    CFG_ITreePtr tree = CFG_CreateTree();
    tree->Init();
    tree->SetNodeName("", name);
    return tree;
}

// The names of the children of the node at path, in the tree's order.
inline std::vector<std::string> ChildNames(const CFG_ITreePtr& tree, const _bstr_t& path = "") {
    std::vector<std::string> names;
    const CFG_INameListPtr list = tree->GetChildNames(path);
    for (int i = 0; i < list->GetCount(); ++i) {
        names.push_back(list->GetItem(i).utf8());
    }
    return names;
}

// The names of the values of the node at path, in the tree's order.
inline std::vector<std::string> ValueNames(const CFG_ITreePtr& tree, const _bstr_t& path = "") {
    std::vector<std::string> names;
    const int count = tree->GetValueCount(path);
    for (int i = 0; i < count; ++i) {
        names.push_back(tree->GetValueName(path, i).utf8());
    }
    return names;
}

}  // namespace vxrp_test
