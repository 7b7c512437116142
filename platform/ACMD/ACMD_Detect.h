#pragma once

// ACMD_Detect - the hit-detection part of a graphic element.
//
// An element answers the framework's detection call by writing two values:
//   the detect strength   how firmly the pointer hit the element; 0 means no
//                         hit, larger values win over smaller ones when several
//                         elements lie under the pointer;
//   the mode word         which interaction the hit starts (the element's own
//                         numbering; 0 is the default interaction).
// The framework clears both before it asks an element (ResetDetection) and reads
// them afterwards. Copying an element copies both values.
class ACMD_Detect {
  public:
    ACMD_Detect() = default;
    ACMD_Detect(const ACMD_Detect&) = default;
    ACMD_Detect& operator=(const ACMD_Detect&) = default;
    virtual ~ACMD_Detect();

    int GetDetectStrength() const { return m_nDetectStrength; }
    void SetDetectStrength(int strength) { m_nDetectStrength = strength; }
    int GetDetectMode() const { return m_nDetectMode; }
    void SetDetectMode(int mode) { m_nDetectMode = mode; }
    void ResetDetection() {
        m_nDetectStrength = 0;
        m_nDetectMode = 0;
    }

  private:
    int m_nDetectStrength = 0;
    int m_nDetectMode = 0;
};
