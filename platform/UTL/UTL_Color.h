#pragma once

// UTL_Color - the workstation's colour: three integer channels red, green and
// blue, normally 0..255. The default colour is black (0, 0, 0). The channels
// are not clamped: whoever packs a colour into a narrower field clamps it.
class UTL_Color {
  public:
    UTL_Color() = default;
    UTL_Color(int red, int green, int blue) : m_nRed(red), m_nGreen(green), m_nBlue(blue) {}

    int GetRed() const { return m_nRed; }
    int GetGreen() const { return m_nGreen; }
    int GetBlue() const { return m_nBlue; }
    void SetRed(int v) { m_nRed = v; }
    void SetGreen(int v) { m_nGreen = v; }
    void SetBlue(int v) { m_nBlue = v; }

    bool operator==(const UTL_Color& other) const {
        return m_nRed == other.m_nRed && m_nGreen == other.m_nGreen && m_nBlue == other.m_nBlue;
    }
    bool operator!=(const UTL_Color& other) const { return !(*this == other); }

  private:
    int m_nRed = 0;
    int m_nGreen = 0;
    int m_nBlue = 0;
};
