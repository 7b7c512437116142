#pragma once

// RWCollectable - the container library's base of objects that its collections
// can hold, compare, hash and persist.
//
// Classes of this library derive from it only to keep the workstation's object
// layout; none of them overrides the collectable operations or persists itself
// through them. The base behaviour is therefore identity-based and stores
// nothing:
//   isA()              RWCollectable::classID
//   newSpecies(), copy()  a new plain RWCollectable that the caller owns
//                      (the derived part is not reproduced)
//   compareTo(c)       0 for the same object, otherwise the order of the two
//                      addresses (-1 or 1); a null c orders before everything
//   hash()             derived from the address
//   isEqual(c)         true only for the same object
//   binaryStoreSize()  0; saveGuts / restoreGuts write and read nothing
#include <cstddef>

using RWClassID = unsigned short;
using RWspace = unsigned long;

// The stream types of the persistence operations. The library never streams a
// collectable, so they are declared for the signatures only.
class RWvistream;
class RWvostream;
class RWFile;

class RWCollectable {
  public:
    static constexpr RWClassID classID = 0x8000;

    RWCollectable() = default;
    RWCollectable(const RWCollectable&) = default;
    RWCollectable& operator=(const RWCollectable&) = default;
    virtual ~RWCollectable();

    virtual RWCollectable* newSpecies() const;
    virtual RWCollectable* copy() const;
    virtual RWClassID isA() const;
    virtual RWspace binaryStoreSize() const;
    virtual int compareTo(const RWCollectable* other) const;
    virtual unsigned hash() const;
    virtual bool isEqual(const RWCollectable* other) const;
    virtual void restoreGuts(RWvistream& stream);
    virtual void restoreGuts(RWFile& file);
    virtual void saveGuts(RWvostream& stream) const;
    virtual void saveGuts(RWFile& file) const;
};
