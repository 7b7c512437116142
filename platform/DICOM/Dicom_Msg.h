#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "DICOM/Dicom_Tag.h"

// 32-bit float as DICOM's FL value representation stores it.
typedef float Dicom_FL;

class Dicom_Msg;

// Dicom_VR - the two-letter value representation of an element ("DS", "US",
// "SQ", ...). Any two characters may be held; the kind of value an element
// keeps follows from them (see Dicom_Element).
class Dicom_VR {
  public:
    constexpr Dicom_VR() = default;
    constexpr Dicom_VR(char first, char second) : m_Code{first, second} {}

    constexpr bool operator==(const Dicom_VR&) const = default;
    std::string_view GetCode() const { return std::string_view(m_Code, 2); }

    // US, SS, UL, SL, FL, FD: binary numbers.
    bool IsBinaryNumber() const;
    // SQ: a sequence of items.
    bool IsSequence() const;

  private:
    char m_Code[2] = {'U', 'N'};
};

namespace Dicom_VRs {
inline constexpr Dicom_VR CS{'C', 'S'};
inline constexpr Dicom_VR DS{'D', 'S'};
inline constexpr Dicom_VR IS{'I', 'S'};
inline constexpr Dicom_VR LO{'L', 'O'};
inline constexpr Dicom_VR SH{'S', 'H'};
inline constexpr Dicom_VR UI{'U', 'I'};
inline constexpr Dicom_VR US{'U', 'S'};
inline constexpr Dicom_VR SS{'S', 'S'};
inline constexpr Dicom_VR UL{'U', 'L'};
inline constexpr Dicom_VR SL{'S', 'L'};
inline constexpr Dicom_VR FL{'F', 'L'};
inline constexpr Dicom_VR FD{'F', 'D'};
inline constexpr Dicom_VR SQ{'S', 'Q'};
}  // namespace Dicom_VRs

// Dicom_Element - one attribute of a message: its tag, its value
// representation and its value, which is held in one of three forms:
//
//   text     every string VR (CS, DS, IS, LO, ...) and anything not listed
//            below: the value exactly as stored, several values separated by
//            "\", padding included; Dicom_DS reads the numbers of a DS.
//   numbers  the binary numeric VRs (US, SS, UL, SL, FL, FD): the values as
//            doubles, which hold every such value exactly.
//   items    SQ: an ordered list of nested messages.
//
// An element whose value is empty (zero length: "value unknown" in DICOM) is
// present but has no values. Each setter replaces the value of its own form
// and leaves the other forms empty.
class Dicom_Element {
  public:
    Dicom_Element(const Dicom_Tag& tag, const Dicom_VR& vr);
    Dicom_Element(const Dicom_Element& other);
    Dicom_Element(Dicom_Element&& other) noexcept;
    Dicom_Element& operator=(const Dicom_Element& other);
    Dicom_Element& operator=(Dicom_Element&& other) noexcept;
    ~Dicom_Element();

    const Dicom_Tag& GetTag() const { return m_Tag; }
    const Dicom_VR& GetVR() const { return m_VR; }

    void SetText(std::string_view text);
    const std::string& GetText() const { return m_Text; }

    void SetNumbers(std::vector<double> values);
    const std::vector<double>& GetNumbers() const { return m_Numbers; }

    // Appends an empty item and answers it; the reference stays valid until
    // the next item is added or the element is changed.
    Dicom_Msg& AddItem();
    std::size_t GetItemCount() const;
    // Item i; null when i is not below the item count.
    const Dicom_Msg* GetItem(std::size_t i) const;
    Dicom_Msg* GetItem(std::size_t i);

    // True when the element holds no value in any form.
    bool IsEmpty() const;

  private:
    Dicom_Tag m_Tag;
    Dicom_VR m_VR;
    std::string m_Text;
    std::vector<double> m_Numbers;
    std::vector<Dicom_Msg> m_Items;
};

// Dicom_Msg - a DICOM data set in memory: elements looked up by tag, at most
// one per tag, kept in tag order.
//
// The message owns its elements (and through them the items of sequences);
// copies are deep. A reference or pointer to an element stays valid until an
// element is added to or removed from the same message.
class Dicom_Msg {
  public:
    Dicom_Msg();
    Dicom_Msg(const Dicom_Msg& other);
    Dicom_Msg(Dicom_Msg&& other) noexcept;
    Dicom_Msg& operator=(const Dicom_Msg& other);
    Dicom_Msg& operator=(Dicom_Msg&& other) noexcept;
    virtual ~Dicom_Msg();

    // The element under tag, or null when the message has none.
    const Dicom_Element* Get(const Dicom_Tag& tag) const;
    Dicom_Element* Get(const Dicom_Tag& tag);
    bool IsPresent(const Dicom_Tag& tag) const { return Get(tag) != nullptr; }

    // The element under tag, created empty with vr when there is none. An
    // existing element is emptied and takes vr.
    Dicom_Element& Put(const Dicom_Tag& tag, const Dicom_VR& vr);
    // Shorthands: Put, then the value.
    Dicom_Element& PutText(const Dicom_Tag& tag, const Dicom_VR& vr, std::string_view text);
    Dicom_Element& PutNumbers(const Dicom_Tag& tag, const Dicom_VR& vr, std::vector<double> values);
    // Removes the element under tag; false when there was none.
    bool Remove(const Dicom_Tag& tag);
    void Clear();

    std::size_t GetCount() const { return m_Elements.size(); }
    // Element i in tag order; null when i is out of range.
    const Dicom_Element* GetAt(std::size_t i) const;

    // The first value of the DS element under tag (see Dicom_DS): false, and
    // value untouched, when the element is missing, empty or not a valid
    // decimal number.
    bool GetDS(const Dicom_Tag& tag, double& value) const;
    // Every value of the DS element under tag; false (values emptied) unless
    // all of them are valid and there is at least one.
    bool GetDSValues(const Dicom_Tag& tag, std::vector<double>& values) const;
    // The first number of a binary numeric element under tag; false, value
    // untouched, when it is missing, empty or holds text.
    bool GetNumber(const Dicom_Tag& tag, double& value) const;

  private:
    std::vector<Dicom_Element> m_Elements;  // sorted by tag
};
