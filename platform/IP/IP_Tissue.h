#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "IP/IP_RefCounted.h"
#include "IP/IP_VolData.h"

// Tissue selections and the tissue index.
//
// IP_MultiRealListVol (the MIP's tissue list): for each volume of a view, the
// ranges of raw stored values [low, high] (both included) that the projection
// keeps. A volume without ranges keeps every value. It is shared between a
// view's live parameter object and its rendering copies (IP_RefCounted); it may
// also live on the stack where nobody takes a reference to it.
class IP_MultiRealListVol : public IP_RefCounted {
  public:
    IP_MultiRealListVol() = default;
    ~IP_MultiRealListVol() override;

    // Adds the range to volume's list (volume >= 0; the lists grow as needed).
    // False, nothing added, for a negative volume, a NaN bound or low > high.
    bool AddRange(int volume, double low, double high);
    int GetNVol() const { return int(m_Ranges.size()); }
    // The ranges of volume, empty for a volume without any.
    const std::vector<std::pair<double, double>>& GetRanges(int volume) const;
    // Whether volume keeps value (see above).
    bool Keeps(int volume, double value) const;
    // The same values as other (a copy of the ranges; the count is not copied).
    void CopyRangesFrom(const IP_MultiRealListVol& other);

  private:
    std::vector<std::vector<std::pair<double, double>>> m_Ranges;
};

// The number of colour tables a volume-rendering view carries; a voxel's tissue
// (0 .. kIP_TissueCount - 1) chooses one of them. Voxels that no tissue claims
// belong to kIP_DefaultTissue, whose table is the protocol's own.
inline constexpr int kIP_TissueCount = 16;
inline constexpr int kIP_DefaultTissue = kIP_TissueCount - 1;

// IP_VolRTissueList (the volume-rendering tissue list): entries (tissue, low,
// high) that give the voxels of raw value in [low, high] the tissue. Entries are
// tried in order; the first that claims a value wins.
class IP_VolRTissueList {
  public:
    struct Entry {
        int tissue;
        IP_Voxel low;
        IP_Voxel high;
    };

    // False, nothing added, for a tissue outside 0 .. kIP_TissueCount - 1 or
    // low > high.
    bool Add(int tissue, IP_Voxel low, IP_Voxel high);
    const std::vector<Entry>& GetEntries() const { return m_Entries; }
    // The tissue of value, or fallback when no entry claims it.
    int TissueOf(IP_Voxel value, int fallback) const;

  private:
    std::vector<Entry> m_Entries;
};

// IP_MultiVolRTisIndInc: the tissue of every voxel of every source volume (one
// byte each, at the source's own sampling), so that the renderer and the
// picking choose each sample's colour table. Shared like the prepared volume
// data (IP_RefCounted).
class IP_MultiVolRTisIndInc : public IP_RefCounted {
  public:
    IP_MultiVolRTisIndInc() = default;
    ~IP_MultiVolRTisIndInc() override;

    // Builds the index of every volume of data from list.
    //  * first_slice, last_slice: with incremental set and an index already
    //    made for the same source volume of the same size, only the slices
    //    first_slice to last_slice (both included, clamped; a negative last
    //    means through the last slice) are computed again and the others kept.
    //    Otherwise every slice is computed.
    //  * fallback: the tissue of the voxels no entry claims, clamped into
    //    0 .. kIP_TissueCount - 1.
    // False, the index then unchanged, for null data or when memory runs out;
    // true otherwise (also for data without volumes, which leaves no index).
    bool Rebuild(IP_MultiVolData* data, int first_slice, int last_slice, int fallback,
                 bool incremental, const IP_VolRTissueList& list);

    int GetNVol() const { return int(m_Volumes.size()); }
    // The tissue of source voxel (i, j, k) of volume; kIP_DefaultTissue outside.
    int GetTissue(int volume, int i, int j, int k) const;
    // The source volume that volume's index was made from (not owned).
    const IP_VolData* GetSource(int volume) const;

  private:
    struct Volume {
        const IP_VolData* source;
        std::uint64_t serial;
        IP_VolGeometry geometry;
        std::vector<std::uint8_t> tissues;
    };
    std::vector<Volume> m_Volumes;
};
