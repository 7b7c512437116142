#include "DICOM/Dicom_Msg.h"

#include <algorithm>
#include <utility>

#include "DICOM/Dicom_DS.h"

// --- Dicom_VR ---------------------------------------------------------------------

bool Dicom_VR::IsBinaryNumber() const {
    return *this == Dicom_VRs::US || *this == Dicom_VRs::SS || *this == Dicom_VRs::UL ||
           *this == Dicom_VRs::SL || *this == Dicom_VRs::FL || *this == Dicom_VRs::FD;
}

bool Dicom_VR::IsSequence() const {
    return *this == Dicom_VRs::SQ;
}

// --- Dicom_Element ----------------------------------------------------------------

Dicom_Element::Dicom_Element(const Dicom_Tag& tag, const Dicom_VR& vr) : m_Tag(tag), m_VR(vr) {}
Dicom_Element::Dicom_Element(const Dicom_Element& other) = default;
Dicom_Element::Dicom_Element(Dicom_Element&& other) noexcept = default;
Dicom_Element& Dicom_Element::operator=(const Dicom_Element& other) = default;
Dicom_Element& Dicom_Element::operator=(Dicom_Element&& other) noexcept = default;
Dicom_Element::~Dicom_Element() = default;

void Dicom_Element::SetText(std::string_view text) {
    std::string copy(text);
    m_Numbers.clear();
    m_Items.clear();
    m_Text = std::move(copy);
}

void Dicom_Element::SetNumbers(std::vector<double> values) {
    m_Text.clear();
    m_Items.clear();
    m_Numbers = std::move(values);
}

Dicom_Msg& Dicom_Element::AddItem() {
    m_Items.emplace_back();
    m_Text.clear();
    m_Numbers.clear();
    return m_Items.back();
}

std::size_t Dicom_Element::GetItemCount() const {
    return m_Items.size();
}

const Dicom_Msg* Dicom_Element::GetItem(std::size_t i) const {
    return i < m_Items.size() ? &m_Items[i] : nullptr;
}

Dicom_Msg* Dicom_Element::GetItem(std::size_t i) {
    return i < m_Items.size() ? &m_Items[i] : nullptr;
}

bool Dicom_Element::IsEmpty() const {
    return m_Text.empty() && m_Numbers.empty() && m_Items.empty();
}

// --- Dicom_Msg --------------------------------------------------------------------

namespace {

bool tag_less(const Dicom_Element& element, const Dicom_Tag& tag) {
    return element.GetTag() < tag;
}

}  // namespace

Dicom_Msg::Dicom_Msg() = default;
Dicom_Msg::Dicom_Msg(const Dicom_Msg& other) = default;
Dicom_Msg::Dicom_Msg(Dicom_Msg&& other) noexcept = default;
Dicom_Msg& Dicom_Msg::operator=(const Dicom_Msg& other) = default;
Dicom_Msg& Dicom_Msg::operator=(Dicom_Msg&& other) noexcept = default;
Dicom_Msg::~Dicom_Msg() = default;

const Dicom_Element* Dicom_Msg::Get(const Dicom_Tag& tag) const {
    const auto it = std::lower_bound(m_Elements.begin(), m_Elements.end(), tag, tag_less);
    return (it != m_Elements.end() && it->GetTag() == tag) ? &*it : nullptr;
}

Dicom_Element* Dicom_Msg::Get(const Dicom_Tag& tag) {
    const auto it = std::lower_bound(m_Elements.begin(), m_Elements.end(), tag, tag_less);
    return (it != m_Elements.end() && it->GetTag() == tag) ? &*it : nullptr;
}

Dicom_Element& Dicom_Msg::Put(const Dicom_Tag& tag, const Dicom_VR& vr) {
    const auto it = std::lower_bound(m_Elements.begin(), m_Elements.end(), tag, tag_less);
    if (it != m_Elements.end() && it->GetTag() == tag) {
        *it = Dicom_Element(tag, vr);
        return *it;
    }
    return *m_Elements.insert(it, Dicom_Element(tag, vr));
}

Dicom_Element& Dicom_Msg::PutText(const Dicom_Tag& tag, const Dicom_VR& vr, std::string_view text) {
    Dicom_Element element(tag, vr);
    element.SetText(text);
    Dicom_Element& stored = Put(tag, vr);
    stored = std::move(element);
    return stored;
}

Dicom_Element& Dicom_Msg::PutNumbers(const Dicom_Tag& tag, const Dicom_VR& vr,
                                     std::vector<double> values) {
    Dicom_Element& stored = Put(tag, vr);
    stored.SetNumbers(std::move(values));
    return stored;
}

bool Dicom_Msg::Remove(const Dicom_Tag& tag) {
    const auto it = std::lower_bound(m_Elements.begin(), m_Elements.end(), tag, tag_less);
    if (it == m_Elements.end() || it->GetTag() != tag) {
        return false;
    }
    m_Elements.erase(it);
    return true;
}

void Dicom_Msg::Clear() {
    m_Elements.clear();
}

const Dicom_Element* Dicom_Msg::GetAt(std::size_t i) const {
    return i < m_Elements.size() ? &m_Elements[i] : nullptr;
}

bool Dicom_Msg::GetDS(const Dicom_Tag& tag, double& value) const {
    const Dicom_Element* element = Get(tag);
    return element != nullptr && Dicom_DS(*element).GetValue(0, value);
}

bool Dicom_Msg::GetDSValues(const Dicom_Tag& tag, std::vector<double>& values) const {
    values.clear();
    const Dicom_Element* element = Get(tag);
    if (element == nullptr) {
        return false;
    }
    const Dicom_DS ds(*element);
    const std::size_t count = ds.GetValueCount();
    std::vector<double> read(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!ds.GetValue(i, read[i])) {
            return false;
        }
    }
    values = std::move(read);
    return count > 0;
}

bool Dicom_Msg::GetNumber(const Dicom_Tag& tag, double& value) const {
    const Dicom_Element* element = Get(tag);
    if (element == nullptr || element->GetNumbers().empty()) {
        return false;
    }
    value = element->GetNumbers().front();
    return true;
}
