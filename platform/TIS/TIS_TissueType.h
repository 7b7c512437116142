#pragma once

// TIS_TissueType - the tissue kinds the workstation's tissue display knows.
// The numbers are stored and used as indices (one place holder per kind), so
// they never change; TIS_TissueTypeCount is the number of kinds.
enum TIS_TissueType : int {
    TIS_GENERAL = 0,
    TIS_VESSEL = 1,
    TIS_BONE = 2,
    TIS_LUNG = 3,
    TIS_LESION = 4,
};

inline constexpr int TIS_TissueTypeCount = 5;
