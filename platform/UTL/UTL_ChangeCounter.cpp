#include "UTL/UTL_ChangeCounter.h"

#include <cstdint>

namespace {
int wrapping_add(int a, int b) {
    return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
}  // namespace

UTL_ChangeCounter& UTL_ChangeCounter::operator=(int value) {
    m_nCounter = value;
    return *this;
}

UTL_ChangeCounter& UTL_ChangeCounter::operator=(const UTL_ChangeCounter& other) {
    m_nCounter = other.m_nCounter;
    return *this;
}

bool UTL_ChangeCounter::operator==(const UTL_ChangeCounter& other) const {
    return m_nCounter == other.m_nCounter;
}

bool UTL_ChangeCounter::operator!=(const UTL_ChangeCounter& other) const {
    return !(*this == other);
}

UTL_ChangeCounter& UTL_ChangeCounter::operator++() {
    m_nCounter = wrapping_add(m_nCounter, 1);
    return *this;
}

UTL_ChangeCounter UTL_ChangeCounter::operator+(const UTL_ChangeCounter& other) const {
    return UTL_ChangeCounter(wrapping_add(m_nCounter, other.m_nCounter));
}

int UTL_ChangeCounter::operator*() const {
    return m_nCounter;
}
