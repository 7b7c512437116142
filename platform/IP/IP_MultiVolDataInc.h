#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "IP/IP_RefCounted.h"
#include "IP/IP_Tissue.h"
#include "IP/IP_VolData.h"

// IP_MultiVolDataInc - the prepared ("incremental multi-volume") data of a view:
// one projected volume (IP_VolDataProj) per processed volume, rebuilt when the
// processed data or the build's settings change. A view keeps two: the slow
// data at full resolution, which the picking reads, and the fast data, a
// coarser copy for rendering while the user drags.
//
// The integer arguments of the build calls mean:
//   step         every step-th voxel along each axis is taken (the slow data
//                uses 1, the fast data 2); below 1 the build fails.
//   first_slice, last_slice
//                the source slices (z indices) the projected volumes cover, both
//                included, clamped into the source; a negative last_slice means
//                through the last slice. A range that leaves no slice fails.
//   blocks       non-zero: block maxima and minima are computed for
//                empty-space skipping.
//   protect      true: the new volumes replace the old ones while the
//                data-protect critical section is held (the slow data, which
//                another thread may be reading); false: without it.
//   incremental  true: a projected volume already made from the same source
//                volume, unchanged since, with the same settings, is kept
//                instead of being built again.
//   background   (MIP) the value given to voxels that the tissue list drops.
// A build is complete or fails: it answers false, and the data stay as they
// were, for null processed data, bad settings or when memory runs out. Data
// with no volume build to no projected volume (true).
//
// Data-protect critical section: a recursive lock, like the workstation's
// critical sections (the thread that holds it may enter again; each enter needs
// its leave). Callers on other threads hold it while they read the projected
// volumes; TryEnterDataProtectCriticalSection never waits.
//
// Shared between a view's live parameter object and its copies (IP_RefCounted).
class IP_MultiVolDataInc : public IP_RefCounted {
  public:
    ~IP_MultiVolDataInc() override;

    int GetNVolData() const { return int(m_Volumes.size()); }
    // Projected volume i (owned by this object), or null outside the list.
    IP_VolDataProj* GetVolData(int i) const;
    // The settings of the last successful build.
    const IP_ProjBuild& GetBuild() const { return m_Build; }

    void EnterDataProtectCriticalSection();
    bool TryEnterDataProtectCriticalSection();
    void LeaveDataProtectCriticalSection();

    // Drops what the colour manager holds (the kinds say what that is).
    virtual void ResetCManager() = 0;

  protected:
    IP_MultiVolDataInc() = default;

    bool rebuild(IP_MultiVolData* data, const IP_ProjBuild& build, const IP_MultiRealListVol* keep,
                 IP_Voxel background, bool incremental, bool protect);

    bool m_bProtect = false;
    IP_Voxel m_nBackground = 0;

  private:
    std::vector<std::unique_ptr<IP_VolDataProj>> m_Volumes;
    IP_ProjBuild m_Build;
    std::recursive_mutex m_DataProtect;
};

// The MIP kind. Its colour manager is the slow tissue list, a copy of the list
// the renderer applies.
class IP_MultiVolDataIncMIP : public IP_MultiVolDataInc {
  public:
    IP_MultiVolDataIncMIP() = default;
    ~IP_MultiVolDataIncMIP() override;

    // Builds every volume of data; tissues (null: keep every value) says which
    // values each volume keeps. See above for the other arguments.
    bool Rebuild(IP_MultiVolData* data, IP_MultiRealListVol* tissues, bool incremental, int step,
                 int first_slice, int last_slice, int blocks, bool protect, int background);
    // Builds every volume again with a new tissue list, at the step and blocks
    // of the last build (1 and none before any) and with the last build's
    // protection.
    bool CopyWithTissue(IP_MultiVolData* data, IP_MultiRealListVol* tissues, int first_slice,
                        int last_slice, int background);
    // The same, for the fast data.
    bool CopyFastFromSlow(IP_MultiVolData* data, IP_MultiRealListVol* tissues, int first_slice,
                          int last_slice, int background);

    // Copies the ranges of list (null: no ranges).
    void SetSlowTissueList(const IP_MultiRealListVol* list);
    const IP_MultiRealListVol& GetSlowTissueList() const { return m_SlowTissues; }
    void ResetCManager() override;

  private:
    IP_MultiRealListVol m_SlowTissues;
};

// The volume-rendering kind. Its colour manager is the tissue index (shared)
// and a copy of the 16 colour-table pointers (the tables belong to the colour
// protocol and must outlive their use here).
class IP_MultiVolDataIncVolR : public IP_MultiVolDataInc {
  public:
    IP_MultiVolDataIncVolR() = default;
    ~IP_MultiVolDataIncVolR() override;

    // Builds every volume of data and takes tables and tis_ind as the colour
    // manager (see SetSlowMultiTisInd).
    bool Rebuild(IP_MultiVolData* data, const unsigned int** tables, IP_MultiVolRTisIndInc* tis_ind,
                 int step, int first_slice, int last_slice, int blocks, bool protect);
    // As for the MIP kind, taking tables and tis_ind as the colour manager.
    bool CopyWithTissue(IP_MultiVolData* data, const unsigned int** tables,
                        IP_MultiVolRTisIndInc* tis_ind, int first_slice, int last_slice);
    bool CopyFastFromSlow(IP_MultiVolData* data, const unsigned int** tables,
                          IP_MultiVolRTisIndInc* tis_ind, int first_slice, int last_slice);

    // Shares tis_ind (null: none) and copies the kIP_TissueCount pointers of
    // tables (null: all null).
    void SetSlowMultiTisInd(IP_MultiVolRTisIndInc* tis_ind, const unsigned int** tables);
    IP_MultiVolRTisIndInc* GetMultiTisInd() const { return m_pTisInd; }
    // Colour table of tissue t (null outside 0 .. kIP_TissueCount - 1).
    const unsigned int* GetColorTable(int t) const;
    void ResetCManager() override;

  private:
    IP_MultiVolRTisIndInc* m_pTisInd = nullptr;
    const unsigned int* m_Tables[kIP_TissueCount] = {};
};
