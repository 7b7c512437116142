#pragma once

#include "TIS/TIS_DisplayParams.h"

class VXR_VOLR_ColorProtocol;

// VXR_VOLR_DisplayParams - a tissue's display parameters carrying a whole
// colour protocol, so that showing or hiding the tissue switches every class
// of its transfer function on or off.
//
// Ownership: the object always owns its own protocol (or none). Protocols
// handed in are copied, never adopted; copies and assignments copy the
// protocol; the destructor deletes it. Clone and CreateObject hand out new
// objects that the caller deletes, null when memory runs out.
//
// A frozen image (FreezeCopy) shows its source protocol's colour table
// without copying it; it must be destroyed or frozen again before the source
// is destroyed or changes its bit count.
class VXR_VOLR_DisplayParams : public TIS_DisplayParams {
  public:
    VXR_VOLR_DisplayParams();
    // Default base state, then copy_data(other).
    VXR_VOLR_DisplayParams(const VXR_VOLR_DisplayParams& other);
    ~VXR_VOLR_DisplayParams() override;

    using TIS_DisplayParams::operator=;
    // copy_data(other); self-assignment does nothing.
    virtual VXR_VOLR_DisplayParams& operator=(const VXR_VOLR_DisplayParams& other);

    // When a protocol is held, activates or deactivates all its classes (which
    // invalidates its table); then the base's visibility rule. True when the
    // visibility changed.
    bool SetVisible(bool visible) override;
    TIS_DisplayParams* Clone() override;
    TIS_DisplayParams* CreateObject() override;
    // The base's freeze; then, when src is a display carrying a protocol, this
    // object's protocol (created when missing) becomes a frozen image of it.
    void FreezeCopy(TIS_DisplayParams* src) override;

    // Installs a copy of p (assigned into the held protocol, or a new copy)
    // and makes sure the change is seen: the held protocol's counter ends
    // above the counter it had before (0 when there was none), at p's counter
    // when that is higher. The caller keeps p; a null p changes nothing.
    virtual void SetProtocol(VXR_VOLR_ColorProtocol* p);
    // The held protocol or null; this object keeps ownership.
    virtual VXR_VOLR_ColorProtocol* GetProtocol();

  protected:
    // The base's data; then, when src is a display carrying a protocol, a copy
    // of it (assigned into the held one, or new). A src without protocol
    // leaves this object's protocol as it is.
    void copy_data(const TIS_DisplayParams& src) override;

  private:
    VXR_VOLR_ColorProtocol* m_pProtocol = nullptr;
};
