#pragma once

#include <cstdint>

#include "VXR_ProjectParams.h"

class IP_MultiVolData;
class IP_VolRTissueList;

// VXR_VolR_ProjectParams - the projection parameters of a volume-rendering view
// (registered as "VXR_ProjectParams").
//
// Besides what the MIP kind does, it carries the colour tables of the view's
// colour protocol (only the table pointers: the tables belong to the protocol,
// which must keep them alive while they are set here), one validation pointer
// per table, and the tissue index that chooses a table for each voxel. Each
// build replaces the first box parameter object of each list by a new one.
//
// Ownership as in VXR_ProjectParams: the prepared data, the tissue index and the
// 16-entry colour-table and validation arrays are shared references between the
// live object and its copies.
//
// The integers a and b of the volume builds are the first and last slice; the
// tissue-index build's a, b and c are the first and last slice to compute
// again and the tissue of unclaimed voxels (IP/IP_MultiVolDataInc.h,
// IP/IP_Tissue.h).
class VXR_VolR_ProjectParams : public VXR_ProjectParams {
  public:
    static constexpr int kVolRStateCount = 7;

    VXR_VolR_ProjectParams();
    VXR_VolR_ProjectParams(const VXR_VolR_ProjectParams& other);
    ~VXR_VolR_ProjectParams() override;

    using VXR_ProjectParams::operator=;
    UTL_BaseParams& operator=(const UTL_BaseParams& other) override;
    VXR_VolR_ProjectParams& operator=(const VXR_VolR_ProjectParams& other);

    void Freeze() override;
    UTL_BaseParams* Clone() override;
    void Defrost() override;
    // Stores view and clip (borrowed) in the rendering parameters; with slow
    // data and colour tables, answers whether the volume-rendering projector
    // reached the opacity threshold under the screen point and writes that
    // point in source voxel coordinates to out (IP/IP_Projector.h). Otherwise
    // false.
    bool Relate(IP_3Coord screen, float (*const view)[4], IP_VolRClipManager* clip,
                IP_3Coord* out) override;
    void Clear(bool with_delete) override;

    // The 16 colour-table pointers, or null before any was set.
    const unsigned int** GetColorTables() const;
    const void** GetCTableValidationPtr() const;
    // Copies the 16 pointers (tables must hold 16). Without an array of its own
    // yet, the object first drops the source's and makes one; false when that
    // cannot be allocated.
    bool SetColorTables(const unsigned int** tables);
    bool SetCTableValidationPtr(const void** ptrs);

    IP_MultiVolRTisIndInc* GetMultiTisInd() const;
    void SetSlowMultiTisInd(const unsigned int** tables);
    void ResetSlowMultiTisInd(const unsigned int* table);
    bool IncrementalBuildTisInd(IP_MultiVolData* data, const unsigned int** tables, int a, int b,
                                int c, bool flag, IP_VolRTissueList& list);
    bool ResetTisInd(const unsigned int** tables);

    bool IncrementalCopyVolData(IP_MultiVolData* data, const unsigned int** tables, int a, int b);
    bool IncrementalBuildFastFromSlowVolData(IP_MultiVolData* data, const unsigned int** tables,
                                             int a, int b);
    bool CopyVolDataWithTissue(IP_MultiVolData* data, const unsigned int** tables, int a, int b);
    bool CopyFastFromSlowVolData(IP_MultiVolData* data, const unsigned int** tables, int a, int b);
    void ResetVolData(bool with_delete);

    // Releases every box's pictures and zeroes the picture states.
    void ClearTPict();
    void ForceLocalCopy();

    std::int32_t GetVolRState(int i) const;
    void SetVolRState(int i, std::int32_t value);

    IP_VolRParamsVolR* GetVolRParams() const {
        return static_cast<IP_VolRParamsVolR*>(m_pVolRParams);
    }
    IP_VolRBoxParamsVolR* GetVolRBox(unsigned i) const;
    IP_VolRBoxParamsVolR* GetVolRTranspBox(unsigned i) const;

  protected:
    void copy_data(const VXR_VolR_ProjectParams& from);
    void copy_boxParams(const VXR_VolR_ProjectParams* from, VXR_VolR_ProjectParams* to);
    void reset_ColorTables();

    std::int32_t m_aVolRState[kVolRStateCount];

    // Appends one new box to each list; false, nothing appended, when memory
    // runs out.
    bool append_box_pair();

  private:
    void CreateBoxParams(IP_MultiVolDataIncVolR* data);
    void ResetBoxParams(bool with_delete);
    VXR_VolR_ProjectParams* volr_source() const;
};
