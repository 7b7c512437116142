#pragma once

#include "VXR_ProjectParams.h"

class IP_MultiVolData;

// VXR_MIP_ProjectParams - the projection parameters of a maximum intensity
// projection view (registered as "VXR_ProjectParams").
//
// It owns the MIP rendering parameters, builds the slow and the fast prepared
// data from the view's processed volumes and a tissue list, keeps one MIP box
// parameter object per volume in each box list, and moves that state between
// the live object and its rendering copy (see VXR_ProjectParams for ownership:
// prepared data and the tissue list are shared references).
//
// The integers and the flag of the build operations are handed to the
// platform's builds unchanged: a and b are the first and last slice, c the
// background value of dropped voxels, the flag asks for an incremental build
// (IP/IP_MultiVolDataInc.h).
//
// Construction and Clone raise nothing but std::bad_alloc (Clone answers null
// then); the typed and the virtual assignment are complete or raise
// std::bad_alloc.
class VXR_MIP_ProjectParams : public VXR_ProjectParams {
  public:
    VXR_MIP_ProjectParams();
    // Shares other's prepared data and tissue list, copies its boxes and state
    // words; the result counts as an original copy.
    VXR_MIP_ProjectParams(const VXR_MIP_ProjectParams& other);
    ~VXR_MIP_ProjectParams() override;

    using VXR_ProjectParams::operator=;
    // copy_data from other (when it is of this kind), then the base's assignment.
    UTL_BaseParams& operator=(const UTL_BaseParams& other) override;
    VXR_MIP_ProjectParams& operator=(const VXR_MIP_ProjectParams& other);

    void Freeze() override;
    UTL_BaseParams* Clone() override;
    void Defrost() override;

    // Stores view and clip in the rendering parameters (clip is borrowed); with
    // slow data, answers whether the MIP projector found the voxel of highest
    // value under the screen point, and writes that voxel's position in source
    // voxel coordinates to out (IP/IP_Projector.h). Without slow data: false.
    bool Relate(IP_3Coord screen, float (*const view)[4], IP_VolRClipManager* clip,
                IP_3Coord* out) override;
    void Clear(bool with_delete) override;
    IP_MultiRealListVol* GetTissueList() override;

    // Drops the list held (and the source's reference to it), then takes list
    // over: the caller's reference passes to this object.
    void SetTissueList(IP_MultiRealListVol* list);
    // Hands a copy of list to the slow data, if any.
    void SetSlowTissueList(IP_MultiRealListVol* list);
    void ResetVolData(bool with_delete);

    bool IncrementalCopyVolData(IP_MultiVolData* data, IP_MultiRealListVol& tissues, bool flag,
                                int a, int b, int c);
    bool IncrementalBuildFastFromSlowVolData(IP_MultiVolData* data, IP_MultiRealListVol& tissues,
                                             bool flag, int a, int b, int c);
    bool CopyVolDataWithTissue(IP_MultiVolData* data, IP_MultiRealListVol& tissues, int a, int b,
                               int c);
    bool CopyFastFromSlowVolData(IP_MultiVolData* data, IP_MultiRealListVol& tissues, int a, int b,
                                 int c);

    // Stands alone: drops the shared references, resets the boxes' pictures and
    // the state words (-1), releases the rendering parameters' pictures, and
    // counts a change.
    void ForceLocalCopy();

    IP_VolRParamsMIP* GetMIPParams() const { return static_cast<IP_VolRParamsMIP*>(m_pVolRParams); }
    IP_VolRBoxParamsMIP* GetMIPBox(unsigned i) const;
    IP_VolRBoxParamsMIP* GetMIPTranspBox(unsigned i) const;

  protected:
    void copy_data(const VXR_MIP_ProjectParams& from);
    void copy_boxParams(const VXR_MIP_ProjectParams* from, VXR_MIP_ProjectParams* to);

    // Appends one new box to each list; false, nothing appended, when memory
    // runs out.
    bool append_box_pair();

    IP_MultiRealListVol* m_pTissueList;

  private:
    void release_all();
};
