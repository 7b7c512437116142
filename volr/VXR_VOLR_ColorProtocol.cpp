#include "VXR_VOLR_ColorProtocol.h"

#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "UTL/UTL_Numeric.h"

namespace {

// Hounsfield data have a fixed value range.
constexpr int kHounsfieldStart = -1024;
constexpr int kHounsfieldEnd = 3095;

int SaturateToInt(long long value) {
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

// 2^k as double, 0 for k < 0 (no 2^(-1) for signed data without bits);
// +infinity beyond the double range, which saturates like the huge value would.
double PowerOfTwo(long long k) {
    if (k < 0) {
        return 0.0;
    }
    return std::ldexp(1.0, k > INT_MAX ? INT_MAX : static_cast<int>(k));
}

// 2^k - 1 evaluated in double (so 2^k from k = 54 on); 0 for k <= 0.
double PowerOfTwoMinusOne(long long k) {
    if (k <= 0) {
        return 0.0;
    }
    if (k < 64) {
        return static_cast<double>((std::uint64_t{1} << k) - 1);
    }
    return PowerOfTwo(k);
}

}  // namespace

// --- functors ---------------------------------------------------------------------

unsigned int StrHash::operator()(_bstr_t text) const {
    unsigned int hash = 0;
    for (const char16_t* unit = text.c_str(); *unit != 0; ++unit) {
        hash = hash * 31u + static_cast<unsigned int>(*unit);
    }
    return hash;
}

bool StrComp::operator()(_bstr_t a, _bstr_t b) const {
    const char16_t* x = a.c_str();
    const char16_t* y = b.c_str();
    while (*x != 0 && *x == *y) {
        ++x;
        ++y;
    }
    return *x == *y;
}

bool StrLess::operator()(_bstr_t a, _bstr_t b) const {
    const char16_t* x = a.c_str();
    const char16_t* y = b.c_str();
    while (*x != 0 && *x == *y) {
        ++x;
        ++y;
    }
    return *x < *y;
}

// --- life cycle -------------------------------------------------------------------

VXR_VOLR_ColorProtocol::VXR_VOLR_ColorProtocol() {
    m_TissuePlaceHolders.resize(TIS_TissueTypeCount);
}

VXR_VOLR_ColorProtocol::VXR_VOLR_ColorProtocol(const _bstr_t& displayedName, float maxOpacity)
    : m_DisplayedName(displayedName), m_fMaxOpacity(maxOpacity) {
    m_TissuePlaceHolders.resize(TIS_TissueTypeCount);
}

VXR_VOLR_ColorProtocol::VXR_VOLR_ColorProtocol(const VXR_VOLR_ColorProtocol& other)
    : RWCollectable(other), UTL_ChangeCounter(other) {
    m_TissuePlaceHolders.resize(TIS_TissueTypeCount);
    copy_data(other);
}

VXR_VOLR_ColorProtocol& VXR_VOLR_ColorProtocol::operator=(const VXR_VOLR_ColorProtocol& other) {
    if (&other != this) {
        copy_data(other);
    }
    return *this;
}

VXR_VOLR_ColorProtocol::~VXR_VOLR_ColorProtocol() {
    delete_classes();
    free_table();
    delete_place_holders();
}

void VXR_VOLR_ColorProtocol::delete_classes() {
    for (VXR_VOLR_ColorClass* cls : m_ColorClasses) {
        delete cls;
    }
    m_ColorClasses.clear();
}

void VXR_VOLR_ColorProtocol::delete_place_holders() {
    for (VXR_VOLR_ColorClass*& holder : m_TissuePlaceHolders) {
        delete holder;
        holder = nullptr;
    }
}

void VXR_VOLR_ColorProtocol::free_table() {
    // Images that still look at the block keep it alive.
    m_ColorTable.reset();
    m_bOwnsColorTable = false;
    m_nColorTableBits = 0;
}

namespace {

// Owned copies of a list of classes (null entries stay null); raises
// std::bad_alloc with nothing leaked when memory runs out.
RWTValOrderedVector<VXR_VOLR_ColorClass*> CopyClasses(
    const RWTValOrderedVector<VXR_VOLR_ColorClass*>& source) {
    std::vector<std::unique_ptr<VXR_VOLR_ColorClass>> copies(source.entries());
    RWTValOrderedVector<VXR_VOLR_ColorClass*> result;
    result.resize(source.entries());
    for (std::size_t i = 0; i < source.entries(); ++i) {
        if (source[i] != nullptr) {
            copies[i] = std::make_unique<VXR_VOLR_ColorClass>(*source[i]);
        }
    }
    for (std::size_t i = 0; i < copies.size(); ++i) {
        result[i] = copies[i].release();
    }
    return result;
}

void DeleteClasses(RWTValOrderedVector<VXR_VOLR_ColorClass*>& classes) {
    for (VXR_VOLR_ColorClass*& cls : classes) {
        delete cls;
        cls = nullptr;
    }
    classes.clear();
}

}  // namespace

void VXR_VOLR_ColorProtocol::copy_data(const VXR_VOLR_ColorProtocol& src) {
    // The copies are made first: when memory runs out, std::bad_alloc leaves
    // this protocol as it was.
    RWTValOrderedVector<VXR_VOLR_ColorClass*> classes = CopyClasses(src.m_ColorClasses);
    RWTValOrderedVector<VXR_VOLR_ColorClass*> holders;
    try {
        holders = CopyClasses(src.m_TissuePlaceHolders);
    } catch (...) {
        DeleteClasses(classes);
        throw;
    }
    if (&src != this) {
        m_Name = src.m_Name;
        m_DisplayedName = src.m_DisplayedName;
    }
    m_nBPP = src.m_nBPP;
    m_bSigned = src.m_bSigned;
    m_bIsLighting = src.m_bIsLighting;
    m_fMaxOpacity = src.m_fMaxOpacity;
    m_bIsGrayscale = src.m_bIsGrayscale;
    m_fOpacityThreshold = src.m_fOpacityThreshold;
    m_bOpThreshInitFromCFG = src.m_bOpThreshInitFromCFG;
    m_bIsHounsfield = src.m_bIsHounsfield;
    m_nRescaleIntercept = src.m_nRescaleIntercept;
    m_fRescaleSlope = src.m_fRescaleSlope;
    m_bIsDecreseOpMode = src.m_bIsDecreseOpMode;
    m_bIsVisible = src.m_bIsVisible;
    m_bColorTableValid = false;
    m_bAverageColorValid = false;
    m_ColorClasses.swap(classes);
    DeleteClasses(classes);
    m_pTissueClassHash = src.m_pTissueClassHash;
    m_TissuePlaceHolders.swap(holders);
    DeleteClasses(holders);
    UTL_ChangeCounter::operator=(src);
}

void VXR_VOLR_ColorProtocol::FreezeCopy(VXR_VOLR_ColorProtocol& src) {
    if (!src.m_bColorTableValid) {
        src.CalculateColorTable();
    }
    if (&src == this) {
        return;
    }
    m_bColorTableValid = src.m_bColorTableValid;
    if (src.m_ColorTable != m_ColorTable) {
        // The image shares the block: it lives while any protocol looks at it.
        free_table();
        m_ColorTable = src.m_ColorTable;
        m_bOwnsColorTable = false;
    }
    // else: src already looks at this block (an image of this protocol being
    // frozen back); whoever owns it keeps it.
    m_fOpacityThreshold = src.m_fOpacityThreshold;
    m_bIsLighting = src.m_bIsLighting;
    m_nBPP = src.m_nBPP;
    m_bSigned = src.m_bSigned;
    m_bIsGrayscale = src.m_bIsGrayscale;
    m_bAverageColorValid = false;
    UTL_ChangeCounter::operator=(src);
}

// --- classes -----------------------------------------------------------------------

unsigned int VXR_VOLR_ColorProtocol::GetClassCount() const {
    return static_cast<unsigned int>(m_ColorClasses.entries());
}

VXR_VOLR_ColorClass* VXR_VOLR_ColorProtocol::GetClass(int i) const {
    return m_ColorClasses[static_cast<std::size_t>(static_cast<unsigned int>(i))];
}

int VXR_VOLR_ColorProtocol::AddColorClass(VXR_VOLR_ColorClass* cls, int after) {
    if (cls == nullptr) {
        return 0;
    }
    cls->SetBPP(m_nBPP);
    const std::size_t count = m_ColorClasses.entries();
    if (after >= 0 && count != 0 && static_cast<std::size_t>(after) < count) {
        m_ColorClasses.insertAt(static_cast<std::size_t>(after) + 1, cls);
        return after + 1;
    }
    m_ColorClasses.append(cls);
    return 1;
}

void VXR_VOLR_ColorProtocol::RemoveColorClass(int i) {
    VXR_VOLR_ColorClass* removed =
        m_ColorClasses.removeAt(static_cast<std::size_t>(static_cast<unsigned int>(i)));
    delete removed;
}

// --- switches --------------------------------------------------------------------------

int VXR_VOLR_ColorProtocol::GetOpacityThreshold() const {
    return UTL_TruncToInt(static_cast<double>(m_fOpacityThreshold) * 255.0);
}

void VXR_VOLR_ColorProtocol::SetBPP(int bpp) {
    if (bpp == m_nBPP) {
        return;
    }
    m_bColorTableValid = false;
    m_nBPP = bpp;
    for (VXR_VOLR_ColorClass* cls : m_ColorClasses) {
        cls->SetBPP(bpp);
    }
}

// --- windowing -------------------------------------------------------------------------

void VXR_VOLR_ColorProtocol::SetCenter(float center) {
    for (VXR_VOLR_ColorClass* cls : m_ColorClasses) {
        cls->SetCenter(center);
    }
}

void VXR_VOLR_ColorProtocol::SetWidth(float width) {
    for (VXR_VOLR_ColorClass* cls : m_ColorClasses) {
        cls->SetWidth(width);
    }
}

void VXR_VOLR_ColorProtocol::AddCenter(float delta) {
    bool changed = false;
    for (VXR_VOLR_ColorClass* cls : m_ColorClasses) {
        changed = cls->AddCenter(delta) || changed;
    }
    if (changed) {
        m_bColorTableValid = false;
    }
}

void VXR_VOLR_ColorProtocol::AddWidth(float delta) {
    bool changed = false;
    try {
        for (VXR_VOLR_ColorClass* cls : m_ColorClasses) {
            changed = cls->AddWidth(delta) || changed;
        }
    } catch (...) {
        // A class whose graph has no points raises before it changes; the
        // classes before it may have moved, and the table must not claim to
        // match them.
        if (changed) {
            m_bColorTableValid = false;
        }
        throw;
    }
    if (changed) {
        m_bColorTableValid = false;
    }
}

void VXR_VOLR_ColorProtocol::ResetWindowing() {
    SetCenter(0.0f);
    SetWidth(0.0f);
    m_bColorTableValid = false;
}

void VXR_VOLR_ColorProtocol::ApplyWindowing() {
    for (VXR_VOLR_ColorClass* cls : m_ColorClasses) {
        cls->ApplyWindowing();
    }
}

// --- activation ------------------------------------------------------------------------

bool VXR_VOLR_ColorProtocol::IsAllClassDeactivated() const {
    for (const VXR_VOLR_ColorClass* cls : m_ColorClasses) {
        if (cls->GetIsActive()) {
            return false;
        }
    }
    return true;
}

void VXR_VOLR_ColorProtocol::SetActivatedAllClasses(bool on) {
    for (VXR_VOLR_ColorClass* cls : m_ColorClasses) {
        cls->SetIsActive(on);
    }
    m_bColorTableValid = false;
}

// --- value range -----------------------------------------------------------------------

int VXR_VOLR_ColorProtocol::GetStartRange() const {
    if (m_bIsHounsfield) {
        return kHounsfieldStart;
    }
    if (!m_bSigned) {
        return m_nRescaleIntercept;
    }
    // bits - 1 in 64 bits: no bit count overflows it.
    const double half =
        PowerOfTwo(static_cast<long long>(m_nBPP) - 1) * static_cast<double>(m_fRescaleSlope);
    return SaturateToInt(static_cast<long long>(m_nRescaleIntercept) - UTL_TruncToInt(half));
}

int VXR_VOLR_ColorProtocol::GetEndRange() const {
    if (m_bIsHounsfield) {
        return kHounsfieldEnd;
    }
    const long long k = m_bSigned ? static_cast<long long>(m_nBPP) - 1 : m_nBPP;
    const double top = PowerOfTwoMinusOne(k) * static_cast<double>(m_fRescaleSlope);
    return SaturateToInt(static_cast<long long>(m_nRescaleIntercept) + UTL_TruncToInt(top));
}

int VXR_VOLR_ColorProtocol::GetTotalRange() const {
    return SaturateToInt(static_cast<long long>(GetEndRange()) - GetStartRange() + 1);
}

long VXR_VOLR_ColorProtocol::ApplyInterceptAndSlop(long v) const {
    return static_cast<long>(
               UTL_TruncToInt(static_cast<double>(v) * static_cast<double>(m_fRescaleSlope))) +
           m_nRescaleIntercept;
}

long VXR_VOLR_ColorProtocol::InverseInterceptAndSlop(long v) const {
    const double difference = static_cast<double>(v) - static_cast<double>(m_nRescaleIntercept);
    return UTL_TruncToInt(difference / static_cast<double>(m_fRescaleSlope));
}

// --- tissues ---------------------------------------------------------------------------

VXR_VOLR_ColorClass* VXR_VOLR_ColorProtocol::GetTissueDefClass(_bstr_t name) const {
    if (m_pTissueClassHash == nullptr) {
        return nullptr;
    }
    VXR_VOLR_ColorClass* found = nullptr;
    if (!m_pTissueClassHash->findValue(name.lower(), found)) {
        return nullptr;
    }
    return found;
}

void VXR_VOLR_ColorProtocol::PutTissuePlaceHolder(TIS_TissueType t, VXR_VOLR_ColorClass* cls) {
    VXR_VOLR_ColorClass*& slot =
        m_TissuePlaceHolders[static_cast<std::size_t>(static_cast<unsigned int>(t))];
    VXR_VOLR_ColorClass* copy = (cls != nullptr) ? new VXR_VOLR_ColorClass(*cls) : nullptr;
    delete slot;
    slot = copy;
}

VXR_VOLR_ColorClass* VXR_VOLR_ColorProtocol::GetTissuePlaceHolder(TIS_TissueType t) const {
    const auto index = static_cast<std::size_t>(static_cast<unsigned int>(t));
    if (index >= m_TissuePlaceHolders.entries()) {
        return nullptr;
    }
    if (m_TissuePlaceHolders[index] != nullptr) {
        return m_TissuePlaceHolders[index];
    }
    if (index >= static_cast<std::size_t>(TIS_TissueTypeCount)) {
        return nullptr;
    }
    return GetTissueDefClass(_bstr_t(VXR_VOLR_TissueTypeNames[index]));
}
