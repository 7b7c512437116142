#pragma once

#include <compare>
#include <cstdint>

// Dicom_Tag - the (group, element) pair that names a DICOM attribute.
//
// Tags order by group, then element, as they are stored in a data set.
class Dicom_Tag {
  public:
    constexpr Dicom_Tag() = default;
    constexpr Dicom_Tag(std::uint16_t group, std::uint16_t element)
        : m_nGroup(group), m_nElement(element) {}

    constexpr std::uint16_t GetGroup() const { return m_nGroup; }
    constexpr std::uint16_t GetElement() const { return m_nElement; }

    constexpr bool operator==(const Dicom_Tag&) const = default;
    constexpr std::strong_ordering operator<=>(const Dicom_Tag&) const = default;

  private:
    std::uint16_t m_nGroup = 0;
    std::uint16_t m_nElement = 0;
};

// The attributes the viewer reads from an image header.
namespace Dicom_Tags {
inline constexpr Dicom_Tag Modality{0x0008, 0x0060};                 // CS
inline constexpr Dicom_Tag ImagePositionPatient{0x0020, 0x0032};     // DS, 3 values
inline constexpr Dicom_Tag ImageOrientationPatient{0x0020, 0x0037};  // DS, 6 values
inline constexpr Dicom_Tag Rows{0x0028, 0x0010};                     // US
inline constexpr Dicom_Tag Columns{0x0028, 0x0011};                  // US
inline constexpr Dicom_Tag PixelSpacing{0x0028, 0x0030};             // DS, 2 values
inline constexpr Dicom_Tag BitsAllocated{0x0028, 0x0100};            // US
inline constexpr Dicom_Tag BitsStored{0x0028, 0x0101};               // US
inline constexpr Dicom_Tag PixelRepresentation{0x0028, 0x0103};      // US, 0 unsigned, 1 signed
inline constexpr Dicom_Tag RescaleIntercept{0x0028, 0x1052};         // DS
inline constexpr Dicom_Tag RescaleSlope{0x0028, 0x1053};             // DS
inline constexpr Dicom_Tag PixelData{0x7FE0, 0x0010};  // never read by the header reader
}  // namespace Dicom_Tags
