#include "RW/RWCollectable.h"

#include <cstdint>
#include <functional>

RWCollectable::~RWCollectable() = default;

RWCollectable* RWCollectable::newSpecies() const {
    return new RWCollectable;
}

RWCollectable* RWCollectable::copy() const {
    return new RWCollectable(*this);
}

RWClassID RWCollectable::isA() const {
    return classID;
}

RWspace RWCollectable::binaryStoreSize() const {
    return 0;
}

int RWCollectable::compareTo(const RWCollectable* other) const {
    if (other == this) {
        return 0;
    }
    // std::less gives a total order over unrelated pointers, null included.
    return std::less<const RWCollectable*>()(this, other) ? -1 : 1;
}

unsigned RWCollectable::hash() const {
    // Widened first: where addresses are 32 bits wide a shift by 32 would be
    // undefined, and the high half is then simply 0.
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(this));
    return static_cast<unsigned>(address ^ (address >> 32));
}

bool RWCollectable::isEqual(const RWCollectable* other) const {
    return other == this;
}

void RWCollectable::restoreGuts(RWvistream& /*stream*/) {}

void RWCollectable::restoreGuts(RWFile& /*file*/) {}

void RWCollectable::saveGuts(RWvostream& /*stream*/) const {}

void RWCollectable::saveGuts(RWFile& /*file*/) const {}
