#pragma once

#include <cstdint>

#include "UTL/UTL_BaseParams.h"

class IOD_Msg;
class VXR_VOLR_ColorProtocol;

// VXR_VOLR_ProtocolParams - the parameter object that carries a view's colour
// protocol, registered as "VXR_VOLR_ProtocolParams" in the view's parameter
// vector.
//
// Besides the protocol it holds the description of the displayed series'
// stored values (rescale intercept and slope, bits per pixel, signedness,
// Hounsfield data), which SetProtocol pushes into the protocol.
//
// Ownership
//   The object always owns its own protocol (or none): protocols handed in are
//   copied, never adopted, copies and assignments copy the protocol, so no two
//   carriers ever share one, and the destructor deletes it. A copy or an
//   assignment is complete or raises std::bad_alloc with this object
//   unchanged; Clone answers null instead.
//
// Rendering copies
//   The host renders from a clone whose source link points at the live object
//   and calls Freeze on it: the clone's protocol then shows the live
//   protocol's colour table (the live protocol calculates it once; nothing is
//   copied). Such a frozen copy must be destroyed or frozen again before the
//   live object is destroyed, assigned (an assignment replaces the protocol
//   object) or changes its bit count (see the protocol's FreezeCopy). SetProtocol on the live
//   object assigns into the protocol it already holds, so the table block a frozen copy shows stays
//   where it is.
//
// Change counter: SetProtocol(p, true) adds 1; nothing else here advances it
// (copying and Freeze take the other object's value).
class VXR_VOLR_ProtocolParams : public UTL_BaseParams {
  public:
    VXR_VOLR_ProtocolParams();
    // Base state and a deep copy of other's data and protocol.
    VXR_VOLR_ProtocolParams(const VXR_VOLR_ProtocolParams& other);
    ~VXR_VOLR_ProtocolParams() override;

    using UTL_BaseParams::operator=;
    // Deep copy as operator=(const UTL_BaseParams&).
    VXR_VOLR_ProtocolParams& operator=(const VXR_VOLR_ProtocolParams& other);
    // When other is a VXR_VOLR_ProtocolParams: its data description, a copy of
    // its protocol (none when it has none) and its counter; then the base's
    // state. Another class of object: only the base's state.
    UTL_BaseParams& operator=(const UTL_BaseParams& other) override;
    // With a source link to a VXR_VOLR_ProtocolParams that holds a protocol:
    // this object's protocol (created when missing) becomes a frozen image of
    // it. With any source link the source's counter is adopted. The data
    // description is not copied. Without a source link nothing happens.
    void Freeze() override;
    // A new object by the copy constructor, owned by the caller; null when
    // memory runs out.
    UTL_BaseParams* Clone() override;
    // Nothing to hand back.
    void Defrost() override;
    // Adds the record ("color_protocol", "", protocol name) to info when the
    // protocol has a non-empty identifying name; flag is not used.
    void RecordDDPInfo(DDPInfoVector& info, bool flag) override;

    // Installs a copy of p: assigned into the held protocol when there is one
    // (its table block is kept), otherwise a new copy. The data description is
    // then pushed into it; advance adds 1 to the change counter. The caller
    // keeps p. A null p changes nothing (and advances nothing).
    virtual void SetProtocol(VXR_VOLR_ColorProtocol* p, bool advance);
    // The held protocol or null; this object keeps ownership.
    virtual VXR_VOLR_ColorProtocol* GetProtocol();

    // Gives p this object's intercept, slope, bits, signedness and Hounsfield
    // flag, in that order (only a new bit count invalidates p's table). A null
    // p is ignored.
    void SetAdditionalDataToProtocol(VXR_VOLR_ColorProtocol* p);

    // Plain accessors: they neither touch the protocol nor advance the counter.
    void SetRescaleIntercept(int intercept) { m_nRescaleIntercept = intercept; }
    int GetRescaleIntercept() const { return m_nRescaleIntercept; }
    void SetRescaleSlope(float slope) { m_fRescaleSlope = slope; }
    float GetRescaleSlope() const { return m_fRescaleSlope; }
    void SetBPP(int bpp) { m_nBPP = bpp; }
    int GetBPP() const { return m_nBPP; }
    void SetSigned(bool isSigned) { m_bSigned = isSigned; }
    bool GetSigned() const { return m_bSigned; }
    void SetIsHounsfield(bool on) { m_bIsHounsfield = on; }
    bool GetIsHounsfield() const { return m_bIsHounsfield; }

    // Takes Rescale Intercept (0028,1052) and Rescale Slope (0028,1053) from
    // msg, each the first value of its decimal string:
    //  * intercept: truncated toward zero;
    //  * slope: rounded to float.
    // A value that is missing, empty or malformed leaves its member as it was;
    // so does an intercept whose truncation does not fit 32 bits and a slope
    // beyond the float range (a decimal string never reads as NaN or
    // infinity). Neither the protocol nor the counter is touched. Answers
    // true; false only for a null msg, which changes nothing.
    bool UpdateFromDicom(IOD_Msg* msg);

  protected:
    // Data description and a copy of src's protocol (none when src has none),
    // then src's counter. The copy is made before anything changes.
    void copy_data(const VXR_VOLR_ProtocolParams& src);

  private:
    VXR_VOLR_ColorProtocol* m_pProtocol = nullptr;
    std::int32_t m_nRescaleIntercept = 0;
    float m_fRescaleSlope = 1.0f;
    std::int32_t m_nBPP = 0;
    bool m_bSigned = false;
    bool m_bIsHounsfield = false;
};
