#pragma once

#include <string>

#include "UTL/UTL_ChangeCounter.h"

class UTL_BaseParamsVec;
class DDPInfoVector;

// UTL_BaseParams - base of every view parameter object.
//
// A parameter object carries a change counter (its UTL_ChangeCounter base), a
// registered name under which UTL_BaseParamsVec finds it, a reference count and
// a source link.
//
// Life cycle and ownership, as the host uses it:
//  * A new object starts with a reference count of 1, owned by whoever created
//    it. AddRef adds an owner; Release drops one and deletes the object when the
//    count reaches 0. An owner that never shared the object may also `delete` it.
//  * Clone() and Interpolate() hand out new objects, each with a count of 1; the
//    caller owns them and frees them with Release() or delete.
//  * The source link is set only by the host, with SetSource(), on the copy it
//    renders from (typically `copy = live.Clone(); copy->SetSource(&live);
//    copy->Freeze();`). Copying and assignment never copy it: a copy of a copy
//    has no source until the host says so. The source must outlive the link.
//  * Copy construction and assignment copy the counter value, the registered
//    name and the updated-from-DDP flag; never the reference count.
//
// Base behaviour that derived classes may keep:
//  * SetData: adds 1 to the counter (a class with state copies it first).
//  * Freeze: with a source, adopts the source's counter; without, nothing.
//  * Defrost, Update, Copy, Paste, UpdateSR, RecordDDPInfo: nothing.
//  * IsChanged: false for null, otherwise whether the counters differ.
//  * Interpolate: makes no frames and answers false.
class UTL_BaseParams : public UTL_ChangeCounter {
  public:
    UTL_BaseParams() = default;
    UTL_BaseParams(const UTL_BaseParams& other);
    ~UTL_BaseParams() override = default;

    // Reference counting. Release deletes the object when the count reaches 0
    // and answers the remaining count.
    virtual long AddRef();
    virtual long Release();

    using UTL_ChangeCounter::operator=;

    // Copies the counter value, name and updated-from-DDP flag.
    virtual UTL_BaseParams& operator=(const UTL_BaseParams& other);
    virtual void SetData(const UTL_BaseParams& other);
    virtual void Freeze();
    // A new object made by the copy constructor, owned by the caller; null when
    // memory runs out.
    virtual UTL_BaseParams* Clone();
    virtual void Defrost();
    virtual bool IsBurnToRasterNeeded();
    virtual void Update(UTL_BaseParams* other);
    // frames[0] is the first key frame, frames[n-1] the last one or null. Fills
    // the slots between with new objects owned by the caller; answers whether any
    // were made. The base makes none.
    virtual bool Interpolate(UTL_BaseParams** frames, int n, UTL_BaseParamsVec* vec);
    virtual bool IsChanged(UTL_BaseParams* other);
    virtual int GetNumberOfFramesForInterpolation();
    virtual void Copy();
    virtual void Paste();
    virtual void UpdateSR();
    virtual void RecordDDPInfo(DDPInfoVector& info, bool flag);
    virtual bool AffectedByPresentation();
    virtual bool IsUpdatedFromDDP();
    virtual void SetUpdatedFromDDP(bool updated);

    // Registered name. A null argument clears it.
    void SetName(const char* name);
    const std::string& GetName() const { return m_Name; }

    // Source link (see above); null in an object that is no copy.
    void SetSource(UTL_BaseParams* source) { m_pSource = source; }
    UTL_BaseParams* GetSource() const { return m_pSource; }

    long GetRefCount() const { return m_nRefCount; }

  private:
    long m_nRefCount = 1;
    UTL_BaseParams* m_pSource = nullptr;
    std::string m_Name;
    bool m_bUpdatedFromDDP = false;
};
