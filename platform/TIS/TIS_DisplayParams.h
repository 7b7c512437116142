#pragma once

// TIS_DisplayParams - how one tissue is displayed: visible or hidden.
//
// It remembers the visibility it had before the last SetVisible, so that a
// caller can tell what the user just changed. Derived display parameters add
// their own state and extend copy_data and FreezeCopy with it.
//
// Virtual operations, in this order: destructor, operator=, SetVisible, Clone,
// CreateObject, FreezeCopy, copy_data.
//
// Clone and CreateObject hand out new objects that the caller owns (delete);
// both answer null when memory runs out. A new object is visible and was
// visible.
class TIS_DisplayParams {
  public:
    TIS_DisplayParams() = default;
    TIS_DisplayParams(const TIS_DisplayParams& other) = default;
    virtual ~TIS_DisplayParams();

    // copy_data(other) through the virtual, so a derived class copies its own
    // state too; self-assignment does nothing.
    virtual TIS_DisplayParams& operator=(const TIS_DisplayParams& other);
    // The previous visibility takes the current one, the current one takes
    // visible; true when the visibility changed.
    virtual bool SetVisible(bool visible);
    // A copy of this object, of this object's class.
    virtual TIS_DisplayParams* Clone();
    // A new default object of this object's class.
    virtual TIS_DisplayParams* CreateObject();
    // Makes this object the renderer's image of src: takes src's visibility
    // and previous visibility. A null src changes nothing.
    virtual void FreezeCopy(TIS_DisplayParams* src);

    bool IsVisible() const { return m_bIsVisible; }
    bool WasVisible() const { return m_bWasVisible; }

  protected:
    // Copies the visibility and the previous visibility.
    virtual void copy_data(const TIS_DisplayParams& src);

  private:
    bool m_bIsVisible = true;
    bool m_bWasVisible = true;
};
