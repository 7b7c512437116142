#pragma once

#include <cstdint>

#include "UTL/UTL_BaseParams.h"

// VXR_RotationParams - the orientation of the rendered volume, one 4x4 matrix.
//
// The host turns it (roll, horizontal and vertical swivel, flip), resets it to
// six standard anatomical views and interpolates it between key frames. It is
// registered as "VXR_RotationParams" in the view's parameter vector, where the
// space-info objects find it.
//
// The matrix follows the geometry library's convention (IP/IP_Matrix.h): row
// vectors, right-handed turns. A turn by a degrees about axis c replaces the
// matrix by m_Rotation * IP_Mrotmat(a * 0.017453292f, c): it acts after the
// current orientation.
//
// Change counter: SwivelHoriz, SwivelVert, FlipView, rotate, SetData and the
// resets advance it; Roll (either form) and SetDefaultOrientation do not, so a
// roll alone does not make the host render again.
//
// The object owns nothing besides its plain members. Clone and Interpolate hand
// out new objects that the caller owns (see UTL_BaseParams).
class VXR_RotationParams : public UTL_BaseParams {
  public:
    // The standard views, stored as a 32-bit value. Values outside 0..5 may be
    // set; ResetOrientation then leaves the identity.
    enum Orientation : std::int32_t {
        AxialInferior = 0,
        AxialSuperior = 1,
        CoronalAnterior = 2,
        CoronalPosterior = 3,
        SagittalLeft = 4,
        SagittalRight = 5,
    };

    // Registers the name and shows the coronal anterior view.
    VXR_RotationParams();
    // Takes the base's state and the matrix of other; the default orientation
    // becomes SagittalLeft whatever other holds. The source link is not copied.
    VXR_RotationParams(const VXR_RotationParams& other);
    ~VXR_RotationParams() override;

    using UTL_BaseParams::operator=;
    // Base state, matrix and default orientation.
    VXR_RotationParams& operator=(const VXR_RotationParams& other);
    // Matrix (when other is a VXR_RotationParams), then the base state; the
    // default orientation is kept.
    UTL_BaseParams& operator=(const UTL_BaseParams& other) override;
    // Takes the matrix of other (when it is a VXR_RotationParams) and counts a
    // change.
    void SetData(const UTL_BaseParams& other) override;
    // With a source link: takes the source's matrix and change counter. Logs
    // "freeze vol data  \n" in any case.
    void Freeze() override;
    // A new object as the copy constructor makes it, owned by the caller; null
    // when memory runs out.
    UTL_BaseParams* Clone() override;
    // Logs "defrost vol data \n"; there is nothing to hand back.
    void Defrost() override;
    // frames[0] is the first key frame, frames[n-1] the last one or null.
    //  * Both set: fills frames[1..n-2] with equal steps of turning from the
    //    first to the last (the (n-1)-th root of the turn between them). False,
    //    making nothing, when both hold the same rotation (translation is not
    //    compared) or the turn between them is no rotation (logged).
    //  * Last null: fills frames[1..n-1] with one full turn about the negative y
    //    axis in steps of 360/n degrees.
    // The new objects are owned by the caller; each is a copy of the one before
    // it (default orientation SagittalLeft) with its counter advanced by 1. Bad
    // input (n < 2, a null array, a null or foreign first key frame, a foreign
    // last key frame) and running out of memory answer false and leave every
    // slot as it was. The called object and vec are not used.
    bool Interpolate(UTL_BaseParams** frames, int n, UTL_BaseParamsVec* vec) override;
    // True when the turn from this matrix to other's moves the image of any of
    // the three axes by a squared distance of 0.001 or more: a turn of about
    // 1.81 degrees about a coordinate axis, somewhat more about a slanted one.
    // Translations are not compared. Null: false. A
    // matrix with NaN, or one without inverse, counts as changed. Another
    // class of parameter object is compared as the base does (by counter).
    bool IsChanged(UTL_BaseParams* other) override;

    // Copies the 16 values of the matrix to out.
    void GetRotation(float (*const out)[4]) const;
    Orientation GetDefaultOrientation() const { return m_DefaultOrientation; }

    // m_Rotation = m_Rotation * m; the counter is not advanced.
    void Roll(const float (*const m)[4]);
    // Turns about z by degrees; the counter is not advanced.
    void Roll(float degrees);
    // Turns about y by degrees; counts a change.
    void SwivelHoriz(float degrees);
    // Turns about x by degrees; counts a change.
    void SwivelVert(float degrees);
    // SwivelHoriz(180).
    void FlipView();

    // Stores the view that ResetOrientation restores; the matrix is untouched.
    void SetDefaultOrientation(Orientation orientation);
    // Identity (one change), then the preset of the default orientation.
    void ResetOrientation();
    // ResetOrientation, then one more change.
    void Reset();

    // The six standard views: the identity, then the turns each view needs.
    void ResetAxialInferior();
    void ResetAxialSuperior();
    void ResetCoronalAnterior();
    void ResetCoronalPosterior();
    void ResetSagittalLeft();
    void ResetSagittalRight();

  protected:
    // m_Rotation = m_Rotation * m; counts a change.
    void rotate(const float (*const m)[4]);

    // Row i, column j is m_Rotation[i][j].
    float m_Rotation[4][4];
    Orientation m_DefaultOrientation;
};
