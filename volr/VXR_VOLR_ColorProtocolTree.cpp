// VXR_VOLR_ColorProtocol in the configuration tree: the tree constructor,
// ExportToCFG and the tissue place-holder sub-tree.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "I18n/I18n_ConvertUtils.h"
#include "log/Tmr_LogFile.h"
#include "volr/VXR_VOLR_ColorProtocol.h"

namespace {

constexpr const char* kLogSource = "VXR_VOLR_ColorProtocol";

constexpr const char16_t* kPlaceHoldersNode = u"tissue_place_holders";

// Significant digits of a stored number below 1; above, one more for every
// digit before the point, so that every stored number keeps three decimals
// (1.2345 is written "1.235", not "1.23").
constexpr int kNumberPrecision = 3;
constexpr int kMaxPrecision = 17;

_bstr_t NumberText(float value) {
    const double number = static_cast<double>(value);
    int precision = kNumberPrecision;
    const double magnitude = std::fabs(number);
    if (std::isfinite(magnitude) && magnitude >= 1.0) {
        precision += static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    }
    if (precision > kMaxPrecision) {
        precision = kMaxPrecision;
    }
    return _bstr_t(I18n_ConvertUtils::Double2DicomLocaleStrNum(number, precision).c_str());
}

float ReadNumber(const _bstr_t& text) {
    return static_cast<float>(I18n_ConvertUtils::DicomLocaleStrNum2Double(text.utf8()));
}

// The lower-case tissue name of type t ("vessel" for TIS_VESSEL).
_bstr_t TissueName(int t) {
    return _bstr_t(VXR_VOLR_TissueTypeNames[t]).lower();
}

}  // namespace

// Delegates to the default constructor so that the object is complete before
// the first read: a tree error thrown below runs the destructor, which frees
// the classes and place holders read so far.
VXR_VOLR_ColorProtocol::VXR_VOLR_ColorProtocol(const CFG_ITreePtr& tree)
    : VXR_VOLR_ColorProtocol() {
    if (!tree) {
        TMR_LOG(kLogSource, 3, "Failed to get protocol\n");
        return;
    }
    m_Name = tree->GetNodeName();
    m_DisplayedName = tree->GetString("name");
    m_fMaxOpacity = ReadNumber(tree->GetString("max_opacity"));
    const _bstr_t threshold = tree->GetString("opacity_threshold");
    if (!threshold.empty()) {
        m_bOpThreshInitFromCFG = true;
    }
    m_fOpacityThreshold = ReadNumber(threshold);
    m_bIsLighting = tree->GetIntDefault("lighting", 0) > 0;

    const CFG_INameListPtr names = tree->GetChildNames("");
    const int count = names->GetCount();
    for (int i = 0; i < count; ++i) {
        const _bstr_t name = names->GetItem(i);
        const CFG_ITreePtr child = tree->GetSubTree(name);
        if (!name.empty() && name.view().front() == u'c') {
            std::unique_ptr<VXR_VOLR_ColorClass> cls(new VXR_VOLR_ColorClass(child));
            cls->SetBPP(m_nBPP);
            m_ColorClasses.append(cls.get());
            cls.release();
        } else if (name.view() == kPlaceHoldersNode) {
            read_tissue_place_holders(child);
        }
    }
}

void VXR_VOLR_ColorProtocol::read_tissue_place_holders(const CFG_ITreePtr& tree) {
    const CFG_INameListPtr names = tree->GetChildNames("");
    const int count = names->GetCount();
    for (int i = 0; i < count; ++i) {
        const _bstr_t name = names->GetItem(i);
        std::unique_ptr<VXR_VOLR_ColorClass> cls(new VXR_VOLR_ColorClass(tree->GetSubTree(name)));
        for (int t = 0; t < TIS_TissueTypeCount; ++t) {
            if (name.view() == TissueName(t).view()) {
                VXR_VOLR_ColorClass*& holder = m_TissuePlaceHolders[static_cast<std::size_t>(t)];
                delete holder;
                holder = cls.release();
                break;
            }
        }
    }
}

CFG_ITreePtr VXR_VOLR_ColorProtocol::ExportToCFG() {
    CFG_ITreePtr tree = CFG_CreateTree();
    tree->Init();
    tree->SetString("name", m_DisplayedName);
    tree->SetString("max_opacity", NumberText(m_fMaxOpacity));
    if (m_bOpThreshInitFromCFG) {
        tree->SetString("opacity_threshold", NumberText(m_fOpacityThreshold));
    }
    tree->SetInt("lighting", m_bIsLighting ? 1 : 0);
    const std::size_t count = m_ColorClasses.entries();
    for (std::size_t i = 0; i < count; ++i) {
        CFG_ITreePtr cls = m_ColorClasses[i]->ExportToCFG();
        char name[32];
        std::snprintf(name, sizeof name, "class%d", static_cast<int>(i + 1));
        cls->SetNodeName("", name);
        tree->AddSubTree("", cls);
    }
    CFG_ITreePtr holders = export_tissue_place_holders_to_cfg();
    holders->SetNodeName("", kPlaceHoldersNode);
    tree->AddSubTree("", holders);
    tree->SetNodeName("", m_Name);
    return tree;
}

CFG_ITreePtr VXR_VOLR_ColorProtocol::export_tissue_place_holders_to_cfg() {
    CFG_ITreePtr tree = CFG_CreateTree();
    tree->Init();
    // The general place holder (type 0) is never written.
    const std::size_t types = std::min<std::size_t>(m_TissuePlaceHolders.entries(),
                                                    static_cast<std::size_t>(TIS_TissueTypeCount));
    for (std::size_t t = 1; t < types; ++t) {
        VXR_VOLR_ColorClass* holder = m_TissuePlaceHolders[t];
        if (holder != nullptr) {
            CFG_ITreePtr cls = holder->ExportToCFG();
            cls->SetNodeName("", TissueName(static_cast<int>(t)));
            tree->AddSubTree("", cls);
        }
    }
    return tree;
}
