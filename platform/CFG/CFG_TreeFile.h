#pragma once

#include <string>
#include <string_view>

#include "CFG/CFG_ITree.h"

// Configuration trees in files, so that they can be kept, shipped and edited
// by hand.
//
// The file format (UTF-8 XML; the full reference with an example is
// docs/tree-files.md):
//
//     <?xml version="1.0" encoding="UTF-8"?>
//     <cfg_tree format="1">
//       <node name="ct_bone">
//         <string name="name" value="CT bone" />
//         <int name="lighting" value="1" />
//         <node name="class1">
//           ...
//         </node>
//       </node>
//     </cfg_tree>
//
//  * The root element is "cfg_tree" with format="1"; it holds exactly one
//    "node", the tree's own node.
//  * A "node" has exactly the attribute "name" and holds, in any mix, the
//    node's values ("string" and "int" elements, each with exactly the
//    attributes "name" and "value") and its child nodes. Values keep their
//    order among values, children theirs among children; a tree is written
//    with a node's values first, then its children.
//  * Names and texts are attribute values, so they need not be valid XML
//    names; "<", "&", quotes and control characters are escaped. Characters
//    are kept exactly: attribute values are not whitespace-normalised, and
//    line ends are not translated.
//  * A child node's name and every value name is a valid path part (not empty,
//    no "\"); the top node's name may be anything, the empty one too. Names are
//    unique among a node's values and among its children.
//  * An "int" value is a decimal 32-bit integer ("-12", "007"; no spaces, no
//    "+").
//  * Nodes nest at most kCFG_MaxFileDepth levels (the top node is level 1);
//    a file is at most kCFG_MaxFileBytes long. Comments and processing
//    instructions are ignored; a document type declaration is refused (no
//    entities are defined or expanded), so are text between elements, unknown
//    elements and attributes, invalid UTF-8 and NUL bytes.
//
// Errors: every failure raises _com_error. A file that cannot be opened, read
// or written raises CFG_E_FILEACCESS naming the file and the reason; content
// that breaks the rules above raises CFG_E_FILEFORMAT naming the file (or the
// source name given to CFG_ReadTreeText), the line and column, the byte
// offset, and what was wrong, e.g.
//     CFG_LoadTreeFile("a.xml"): line 3, column 7 (offset 61): <int> "r" has
//     the value "x", which is not a 32-bit integer
// A tree that cannot be written in this format (a name or text holding a NUL
// character, an unusable child or value name, nesting too deep) raises
// CFG_E_FILEFORMAT from the writers before anything is written.
//
// The loaded tree is a new, initialised, unattached in-memory tree
// (CFG_CreateTree) that the caller owns; nothing of it exists when loading
// fails.

// HRESULT_FROM_WIN32(ERROR_INVALID_DATA): the content is not a tree file.
inline constexpr HRESULT CFG_E_FILEFORMAT = static_cast<HRESULT>(0x8007000Du);
// HRESULT_FROM_WIN32(ERROR_OPEN_FAILED): the file could not be opened, read or written.
inline constexpr HRESULT CFG_E_FILEACCESS = static_cast<HRESULT>(0x8007006Eu);

inline constexpr int kCFG_MaxFileDepth = 256;
inline constexpr std::size_t kCFG_MaxFileBytes = std::size_t{64} << 20;

// The tree as the text of a tree file. Raises CFG_E_FILEFORMAT for a tree the
// format cannot hold and E_POINTER for a null tree.
std::string CFG_WriteTreeText(const CFG_ITreePtr& tree);

// A tree read from the text of a tree file; sourceName names the text in error
// messages (a file path, a preset name).
CFG_ITreePtr CFG_ReadTreeText(std::string_view text, const std::string& sourceName);

// Writes the tree to the file at path (UTF-8 path), replacing any file there.
// The text goes to a new file beside it that is then renamed over path, so a
// reader sees either the old file or the whole new one, never a part; on
// failure the old file is left as it was and no temporary file remains.
void CFG_SaveTreeFile(const CFG_ITreePtr& tree, const std::string& path);

// Reads the tree file at path.
CFG_ITreePtr CFG_LoadTreeFile(const std::string& path);
