#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

class UTL_BaseParams;

// UTL_BaseParamsVec - the parameter objects of one view, found by registered name.
//
// The vector holds one reference to each object it contains: Add adopts the
// reference the caller hands in (a freshly created object's count of 1 passes to
// the vector), AddShared takes a new one with AddRef. The vector releases its
// references when an object is removed and when the vector is destroyed.
// Several objects may carry one name; GetParams answers the first added.
class UTL_BaseParamsVec {
  public:
    UTL_BaseParamsVec() = default;
    UTL_BaseParamsVec(const UTL_BaseParamsVec&) = delete;
    UTL_BaseParamsVec& operator=(const UTL_BaseParamsVec&) = delete;
    ~UTL_BaseParamsVec();

    // Adopts the caller's reference. A null object is ignored.
    void Add(UTL_BaseParams* params);
    // Takes a reference of its own (AddRef). A null object is ignored.
    void AddShared(UTL_BaseParams* params);
    // Removes and releases every object registered under name; answers how many.
    std::size_t Remove(std::string_view name);

    // The object registered under name, or null (also for a null name). The
    // vector keeps its reference: the caller must not release it.
    UTL_BaseParams* GetParams(const char* name) const;

    std::size_t GetCount() const { return m_Params.size(); }
    // Object at index i, or null when i is out of range.
    UTL_BaseParams* GetAt(std::size_t i) const;

  private:
    std::vector<UTL_BaseParams*> m_Params;
};
