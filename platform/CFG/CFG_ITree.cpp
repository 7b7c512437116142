#include "CFG/CFG_ITree.h"

_bstr_t CFG_INameList::GetItem(int index) const {
    if (index < 0 || index >= GetCount()) {
        return _bstr_t();
    }
    return m_Names[static_cast<std::size_t>(index)];
}

CFG_ITreePtr CFG_CreateTree() {
    COM_RaiseError(E_NOTIMPL, "CFG_CreateTree: not yet available");
}
CFG_ITreePtr CFG_CloneTree(const CFG_ITreePtr&) {
    COM_RaiseError(E_NOTIMPL, "CFG_CloneTree");
}
bool CFG_TreesEqual(const CFG_ITreePtr&, const CFG_ITreePtr&) {
    return false;
}
std::string CFG_DumpTree(const CFG_ITreePtr&) {
    return {};
}
