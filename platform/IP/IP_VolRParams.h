#pragma once

#include <cstdint>
#include <vector>

#include "IP/IP_3Coord.h"
#include "IP/IP_Box.h"
#include "IP/IP_MultiVolDataInc.h"
#include "IP/IP_RefCounted.h"
#include "IP/IP_Tissue.h"
#include "MEM/MEM_PagerInfo.h"

class IP_VolRClipManager;

// The volume renderer's parameters of one view (IP_VolRParams and its MIP and
// volume-rendering kinds) and of one rendered box (IP_VolRBoxParams and kinds).
//
// What the parameters hold, and who owns it:
//  * the view matrix: physical to screen coordinates, p_screen = p * M (row
//    vectors). Screen x and y lie in the picture, z runs into the screen; units
//    are those of the physical space (the host maps pixels to them);
//  * the clip manager: borrowed from the view's clipping parameters, which must
//    outlive its use here;
//  * the slow and fast prepared data: shared references (IP_RefCounted); each
//    holder owns one, so setting a reference takes one and drops the old one;
//  * the box and the bounding box (IP_Box values), a zoom-access value, four
//    picture buffers with a value stored after them, and the opacity threshold
//    (0 .. 255) at which volume-rendering picking stops;
//  * (volume rendering) the tissue index and the colour-table and validation
//    arrays, shared references too.
// Assignment copies every member: afterwards both objects refer to the same
// prepared data, tissue index, arrays and picture blocks.

// kIP_TissueCount pointers to colour tables (not owned: the colour protocol's),
// shared by the parameter objects of a view.
class IP_ColorTableArray : public IP_RefCounted {
  public:
    IP_ColorTableArray() = default;
    const unsigned int* m_Tables[kIP_TissueCount] = {};
};

// One validation pointer per colour table (not owned).
class IP_ValidationArray : public IP_RefCounted {
  public:
    IP_ValidationArray() = default;
    const void* m_Ptrs[kIP_TissueCount] = {};
};

class IP_VolRParams {
  public:
    static constexpr int kPictCount = 4;

    IP_VolRParams(const IP_VolRParams&) = delete;
    virtual ~IP_VolRParams();

    void GetViewMatrix(float (*out)[4]) const;
    void SetViewMatrix(const float (*m)[4]);
    IP_VolRClipManager* GetClipManager() const { return m_pClipManager; }
    void SetClipManager(IP_VolRClipManager* clip) { m_pClipManager = clip; }

    IP_MultiVolDataInc* GetSlowVolData() const { return m_pSlow; }
    IP_MultiVolDataInc* GetFastVolData() const { return m_pFast; }
    // Drop this object's reference (whatever the kind); the data are freed when
    // no other holder refers to them.
    void DropSlowVolData() { set_slow(nullptr); }
    void DropFastVolData() { set_fast(nullptr); }

    IP_Box& GetBox() { return m_Box; }
    IP_Box& GetBoundingBox() { return m_BoundingBox; }
    const IP_Box& GetBox() const { return m_Box; }
    const IP_Box& GetBoundingBox() const { return m_BoundingBox; }

    std::int32_t GetZoomAccess() const { return m_nZoomAccess; }
    void SetZoomAccess(std::int32_t value) { m_nZoomAccess = value; }

    // Picture buffer i (0 .. kPictCount - 1; other indices answer buffer 0).
    MEM_PagerInfo& GetPict(int i);
    std::int32_t GetPictValue() const { return m_nPictValue; }
    void SetPictValue(std::int32_t value) { m_nPictValue = value; }

    int GetOpacityThreshold() const { return m_nOpacityThreshold; }
    void SetOpacityThreshold(int value) { m_nOpacityThreshold = value; }

  protected:
    IP_VolRParams();
    IP_VolRParams& operator=(const IP_VolRParams& other);

    void set_slow(IP_MultiVolDataInc* data) { IP_AssignRef(m_pSlow, data); }
    void set_fast(IP_MultiVolDataInc* data) { IP_AssignRef(m_pFast, data); }

  private:
    float m_ViewMatrix[4][4];
    IP_VolRClipManager* m_pClipManager = nullptr;
    IP_MultiVolDataInc* m_pSlow = nullptr;
    IP_MultiVolDataInc* m_pFast = nullptr;
    IP_Box m_Box;
    IP_Box m_BoundingBox;
    std::int32_t m_nZoomAccess = 0;
    MEM_PagerInfo m_Picts[kPictCount];
    std::int32_t m_nPictValue = 0;
    int m_nOpacityThreshold = 0;
};

class IP_VolRParamsMIP : public IP_VolRParams {
  public:
    IP_VolRParamsMIP() = default;
    IP_VolRParamsMIP& operator=(const IP_VolRParamsMIP& other);
    ~IP_VolRParamsMIP() override;

    IP_MultiVolDataIncMIP* GetSlow() const;
    IP_MultiVolDataIncMIP* GetFast() const;
    // Take a reference to data (null: none) and drop the one held.
    void SetSlow(IP_MultiVolDataIncMIP* data) { set_slow(data); }
    void SetFast(IP_MultiVolDataIncMIP* data) { set_fast(data); }
};

class IP_VolRParamsVolR : public IP_VolRParams {
  public:
    IP_VolRParamsVolR() = default;
    IP_VolRParamsVolR& operator=(const IP_VolRParamsVolR& other);
    ~IP_VolRParamsVolR() override;

    IP_MultiVolDataIncVolR* GetSlow() const;
    IP_MultiVolDataIncVolR* GetFast() const;
    void SetSlow(IP_MultiVolDataIncVolR* data) { set_slow(data); }
    void SetFast(IP_MultiVolDataIncVolR* data) { set_fast(data); }

    IP_MultiVolRTisIndInc* m_MVolRTisInd = nullptr;
    IP_ColorTableArray* m_ColorTables = nullptr;
    IP_ValidationArray* m_ValidationPtrs = nullptr;

    // The shared references above are set through these (null: none).
    void SetTisInd(IP_MultiVolRTisIndInc* t) { IP_AssignRef(m_MVolRTisInd, t); }
    void SetColorTableArray(IP_ColorTableArray* a) { IP_AssignRef(m_ColorTables, a); }
    void SetValidationArray(IP_ValidationArray* a) { IP_AssignRef(m_ValidationPtrs, a); }
    // The kIP_TissueCount table pointers, or null without an array.
    const unsigned int** GetColorTables() const;
    const void** GetValidationPtrs() const;
};

// The parameters of one rendered box: its picture buffer (the MIP's tpict, the
// volume renderer's rgbtpict) and picture state. Assignment copies everything;
// picture buffers are then shared (MEM_PagerInfo).
class IP_VolRBoxParams {
  public:
    IP_VolRBoxParams(const IP_VolRBoxParams&) = delete;
    virtual ~IP_VolRBoxParams();

    MEM_PagerInfo& GetTPict() { return m_TPict; }
    std::int32_t m_nPictState = 0;

  protected:
    IP_VolRBoxParams() = default;
    IP_VolRBoxParams& operator=(const IP_VolRBoxParams& other) = default;

  private:
    MEM_PagerInfo m_TPict;
};

class IP_VolRBoxParamsMIP : public IP_VolRBoxParams {
  public:
    IP_VolRBoxParamsMIP() = default;
    IP_VolRBoxParamsMIP& operator=(const IP_VolRBoxParamsMIP& other) = default;
    ~IP_VolRBoxParamsMIP() override;

    std::int32_t m_nCounter = 0;
    std::uint8_t m_bFlag = 0;
    std::int32_t m_nValue = 0;
};

class IP_VolRBoxParamsVolR : public IP_VolRBoxParams {
  public:
    IP_VolRBoxParamsVolR() = default;
    IP_VolRBoxParamsVolR& operator=(const IP_VolRBoxParamsVolR& other) = default;
    ~IP_VolRBoxParamsVolR() override;

    MEM_PagerInfo& GetRGBTPict() { return GetTPict(); }
    MEM_PagerInfo& GetSecondPict() { return m_SecondPict; }
    MEM_PagerInfo& GetThirdPict() { return m_ThirdPict; }

    // The lighting points of the last render (owned); Destroy_ frees them.
    std::vector<IP_3Coord>& GetLightingPoint3DArr() { return m_LightingPoints; }
    void Destroy_LightingPoint3DArr();

  private:
    MEM_PagerInfo m_SecondPict;
    MEM_PagerInfo m_ThirdPict;
    std::vector<IP_3Coord> m_LightingPoints;
};
