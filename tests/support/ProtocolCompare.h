#pragma once

#include <gtest/gtest.h>

#include <string>

#include "volr/VXR_VOLR_ColorProtocol.h"

// Whether two protocols agree in everything a tree stores, through the public
// getters: names, numbers, switches, and every class and place holder with its
// windowing flag, activity, colour points and opacity graph.
namespace vxrp_test {

inline ::testing::AssertionResult SameClass(const VXR_VOLR_ColorClass* a,
                                            const VXR_VOLR_ColorClass* b) {
    if ((a == nullptr) != (b == nullptr)) {
        return ::testing::AssertionFailure() << "one class is missing";
    }
    if (a == nullptr) {
        return ::testing::AssertionSuccess();
    }
    const std::string name = a->GetName().utf8();
    if (a->GetName() != b->GetName() || a->GetAllowWindowing() != b->GetAllowWindowing() ||
        a->GetIsActive() != b->GetIsActive() || a->GetWidth() != b->GetWidth() ||
        a->GetCenter() != b->GetCenter()) {
        return ::testing::AssertionFailure() << "class " << name << " differs in its own fields";
    }
    if (a->GetColorPointCount() != b->GetColorPointCount()) {
        return ::testing::AssertionFailure() << "class " << name << ": colour point counts differ";
    }
    for (int i = 0; i < static_cast<int>(a->GetColorPointCount()); ++i) {
        const VXR_VOLR_ColorPoint pa = a->GetColorPoint(i);
        const VXR_VOLR_ColorPoint pb = b->GetColorPoint(i);
        if (pa.m_fValue != pb.m_fValue || !(pa.m_Color == pb.m_Color)) {
            return ::testing::AssertionFailure() << "class " << name << ": colour point " << i;
        }
    }
    const VXR_VOLR_TrapezeOpacityGraph* ga = a->GetOpacityGraph();
    const VXR_VOLR_TrapezeOpacityGraph* gb = b->GetOpacityGraph();
    if ((ga == nullptr) != (gb == nullptr)) {
        return ::testing::AssertionFailure() << "class " << name << ": one graph is missing";
    }
    if (ga != nullptr) {
        if (ga->GetMaxOpacity() != gb->GetMaxOpacity() ||
            ga->GetOpPointCount() != gb->GetOpPointCount()) {
            return ::testing::AssertionFailure() << "class " << name << ": graphs differ";
        }
        for (int i = 0; i < static_cast<int>(ga->GetOpPointCount()); ++i) {
            const VXR_VOLR_OpacityPoint pa = ga->GetOpacityPoint(i);
            const VXR_VOLR_OpacityPoint pb = gb->GetOpacityPoint(i);
            if (pa.m_fX != pb.m_fX || pa.m_fY != pb.m_fY) {
                return ::testing::AssertionFailure() << "class " << name << ": opacity point " << i;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult SameStoredProtocol(const VXR_VOLR_ColorProtocol& a,
                                                     const VXR_VOLR_ColorProtocol& b) {
    if (a.GetName() != b.GetName() || a.GetDisplayedName() != b.GetDisplayedName()) {
        return ::testing::AssertionFailure() << "names differ";
    }
    if (a.GetMaxOpacity() != b.GetMaxOpacity() ||
        a.GetOpacityThreshold() != b.GetOpacityThreshold() ||
        a.IsOpThreshInitFromCFG() != b.IsOpThreshInitFromCFG() ||
        a.GetIsLighting() != b.GetIsLighting()) {
        return ::testing::AssertionFailure() << "numbers or switches differ";
    }
    if (a.GetClassCount() != b.GetClassCount()) {
        return ::testing::AssertionFailure() << "class counts differ";
    }
    for (int i = 0; i < static_cast<int>(a.GetClassCount()); ++i) {
        const ::testing::AssertionResult same = SameClass(a.GetClass(i), b.GetClass(i));
        if (!same) {
            return ::testing::AssertionFailure() << "class " << i << ": " << same.message();
        }
    }
    for (int t = 0; t < TIS_TissueTypeCount; ++t) {
        const auto type = static_cast<TIS_TissueType>(t);
        const ::testing::AssertionResult same =
            SameClass(a.GetTissuePlaceHolder(type), b.GetTissuePlaceHolder(type));
        if (!same) {
            return ::testing::AssertionFailure() << "place holder " << t << ": " << same.message();
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace vxrp_test
