#pragma once

#include "ACMD/ACMD_Detect.h"
#include "RW/RWCollectable.h"
#include "UTL/UTL_ChangeCounter.h"
#include "UTL/UTL_Color.h"
#include "UTL/UTL_Point.h"

class IOD_Msg;
class IMG_ImageInterface;
class UI_DrawingContextInterface;
class UTL_BaseParamsVec;

// A DICOM floating-point value (FL, 32 bits).
typedef float Dicom_FL;

// GRA_Mode - the framework's interaction mode, passed to detection, to the
// DICOM export and to the cursor and message look-ups. Modes 0 to
// GRA_MODE_COUNT - 1 have a cursor of their own.
typedef int GRA_Mode;
inline constexpr int GRA_MODE_COUNT = 8;

// GRA_Cursor - the mouse cursor a mode shows.
enum GRA_Cursor : int {
    GRA_CURSOR_ARROW = 0,
    GRA_CURSOR_CROSS = 1,
    GRA_CURSOR_MOVE = 2,
    GRA_CURSOR_SIZE = 3,
    GRA_CURSOR_HAND = 4,
    GRA_CURSOR_DRAW = 5,
};

// GRA_BaseElement - the property word that every drawn thing of the framework
// carries (graphic elements, line elements, element sets).
class GRA_BaseElement {
  public:
    enum Property : unsigned {
        NO_PROPERTY = 0u,
        SELECTED = 1u,
        HIGHLIGHTED = 2u,
        HIDDEN = 4u,
    };

    GRA_BaseElement() = default;
    GRA_BaseElement(const GRA_BaseElement&) = default;
    GRA_BaseElement& operator=(const GRA_BaseElement&) = default;
    virtual ~GRA_BaseElement();

    unsigned GetProperty() const { return m_nProperty; }
    void SetProperty(unsigned property) { m_nProperty = property; }
    bool HasProperty(unsigned bits) const { return (m_nProperty & bits) == bits; }

  protected:
    unsigned m_nProperty = NO_PROPERTY;
};

// GRA_BaseGraphicElement - the base of every graphic overlay element that the
// host's element list owns and drives.
//
// Bases, in this order: the change counter (advanced by the element when what
// it shows changes), the detection result (ACMD_Detect) and the container
// library's collectable.
//
// State kept here for every element: the element-type code (a number telling
// the kind of element, written by the concrete classes; kUndefinedType until
// then), the colour, the hidden flag, the property word, the defer-colour flag,
// the burnt value with its validity, and one cursor per mode.
//   copy constructor      copies all of it, the type code included
//   operator=             copies all of it
//   Copy(src)             takes colour, hidden flag, property word and
//                         defer-colour flag from src; the type code, the counter
//                         and the detection result stay (a concrete element that
//                         wants src's code copies it itself)
//   Defrost(src)          takes src's change counter: the rendering copy's
//                         state goes back to its source
//
// The virtual operations stand in the framework's slot order; derived classes
// override what they need. The defaults are stated at each.
class GRA_BaseGraphicElement : public UTL_ChangeCounter, public ACMD_Detect, public RWCollectable {
  public:
    static constexpr int kUndefinedType = 0;

    GRA_BaseGraphicElement();
    GRA_BaseGraphicElement(const GRA_BaseGraphicElement& src);
    GRA_BaseGraphicElement& operator=(const GRA_BaseGraphicElement& src);
    using UTL_ChangeCounter::operator=;
    ~GRA_BaseGraphicElement() override;

    // A new element of the same class, owned by the caller; null when memory
    // runs out.
    virtual GRA_BaseGraphicElement* Clone() = 0;
    // As Clone; the framework's unique copies are ordinary clones.
    virtual GRA_BaseGraphicElement* CloneUnique();
    virtual void Copy(GRA_BaseGraphicElement* src);
    virtual void Defrost(GRA_BaseGraphicElement* src);
    // Draws the element. flag2: the element is selected; flag3: the element is
    // to be drawn with its highlight; n: the element's index in its list.
    virtual void Draw(UTL_BaseParamsVec* params, UTL_BaseParamsVec* params2,
                      UI_DrawingContextInterface* dc, bool flag1, bool flag2, int n,
                      bool flag3) = 0;
    // True: the user may hide the element.
    virtual bool CanHide();
    // True: the system may hide the element.
    virtual bool CanHideSys();
    // Sets or clears the SELECTED bits of the property word; the second
    // argument asks for the highlight bits as well.
    virtual void Select(bool select, bool highlight);
    // The cursor the element holds for mode, while it is shown; the arrow when
    // it is hidden or the mode has no cursor of its own.
    virtual long get_ModeCursor(long mode);
    // The status-line text of mode; the framework's elements have none (null).
    virtual const wchar_t* get_ModeMessage(long mode);
    // The name of the element's pop-up menu in mode; none (null).
    virtual const wchar_t* get_Popupname(long mode);
    // The physical-to-screen and screen-to-physical matrices of the view; the
    // base keeps nothing.
    virtual void TranslatePtoSCoordinates(const float (*m1)[4], const float (*m2)[4]);
    // Applies the view's transformation to the element's points; nothing here.
    virtual void ApplyTransform();
    // True: the element writes itself into DICOM messages.
    virtual bool CanUpdateMsg();
    // Removes the selected vertex; false: the element has no vertices to remove.
    virtual bool RemoveSelectedVertex();
    // Called before the element leaves image; nothing here.
    virtual void PreRemove(IMG_ImageInterface* image);
    // Reads what the element needs from the view's parameter objects; nothing
    // here.
    virtual void ReadParams(UTL_BaseParamsVec* params, UTL_BaseParamsVec* params2);
    // Sets the colour; when count is true the change counter advances.
    virtual void SetColor(const UTL_Color& colour, bool count);
    virtual void SetHidden(bool hidden);
    virtual bool GetHidden();
    // True: the element follows presentation changes (zoom, pan) of the view.
    virtual bool AffectedByPresentation();
    virtual void SetDeferColor(bool defer);
    // True: the element is burnt into the pixels when the image is exported.
    virtual bool IsBurnToRasterNeeded();
    // True: the element is shown even when the view has no pixel data.
    virtual bool ShowWhenNoPixelData();
    // Writes the element into msg; answers 0 on success. The base writes
    // nothing and answers 0.
    virtual int UpdateMsg(IOD_Msg* msg, UTL_BaseParamsVec* params, float (*m)[4], GRA_Mode mode);
    // Takes the element back from message values; nothing here.
    virtual void UpdateFromMsg(int count, float* values, float (*m)[4]);
    virtual void SetBurntValue(Dicom_FL value);
    // Draws a little square marking a vertex at p: see GRA_UserElement.
    virtual void DrawLittleSquare(UI_DrawingContextInterface* dc, UTL_Point p, bool filled);
    // What the user may do with the element (bit set); all by default (-1).
    virtual int GetPermissions();
    // The framework's detection call: clears the detection result, asks the
    // vertex detection and, when that found nothing (strength 0), the surface
    // detection; answers the detect strength (0: no hit).
    virtual int DetectElement(float* const a, float b, GRA_Mode mode, int n, float* const point,
                              float tolerance, UTL_BaseParamsVec* params);
    virtual void InvalidateBurntValue();
    // True: the framework pans the view when a drag leaves it.
    virtual bool IsForceAutoPanTest();

  protected:
    // Detection of a vertex and of the outline under point (x, y, z) within
    // tolerance; they write the detection result (ACMD_Detect). Nothing here.
    virtual void is_element_chosen_by_vertex(float* const a, float b, GRA_Mode mode, int n,
                                             float* const point, float tolerance,
                                             UTL_BaseParamsVec* params);
    virtual void is_element_chosen_by_surface(float* const a, float b, GRA_Mode mode, int n,
                                              float* const point, float tolerance,
                                              UTL_BaseParamsVec* params);
    // Writes the element's curve module into msg; false: the element has none.
    virtual bool create_curve_module(IOD_Msg* msg, float (*m)[4]);

  public:
    int GetElementType() const { return m_nElementType; }
    void SetElementType(int code) { m_nElementType = code; }
    const UTL_Color& GetColor() const { return m_Color; }
    unsigned GetProperty() const { return m_nProperty; }
    void SetProperty(unsigned property) { m_nProperty = property; }
    bool GetDeferColor() const { return m_bDeferColor; }
    bool HasBurntValue() const { return m_bBurntValueValid; }
    Dicom_FL GetBurntValue() const { return m_BurntValue; }
    // The cursor held for mode (GRA_CURSOR_ARROW for a mode without one), and
    // its setting; modes outside 0..GRA_MODE_COUNT-1 are ignored.
    long GetHeldCursor(long mode) const;
    void SetHeldCursor(long mode, GRA_Cursor cursor);
    void SetForceAutoPan(bool force) { m_bForceAutoPan = force; }

  protected:
    int m_nElementType = kUndefinedType;
    UTL_Color m_Color;
    bool m_bHidden = false;
    unsigned m_nProperty = GRA_BaseElement::NO_PROPERTY;
    bool m_bDeferColor = false;
    bool m_bForceAutoPan = true;
    bool m_bBurntValueValid = false;
    Dicom_FL m_BurntValue = 0.0f;
    GRA_Cursor m_Cursors[GRA_MODE_COUNT];
};
