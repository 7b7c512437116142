#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "COM/COM_BStr.h"

// UTL_DDPInfo - one record of the parameters a view reports to the host's
// display-and-presentation information: a key naming the parameter (for
// example "color_protocol"), a qualifier that tells several records of one key
// apart (empty when the key has one record) and the value, all wide strings
// shared on copy.
class UTL_DDPInfo {
  public:
    UTL_DDPInfo(const _bstr_t& key, const _bstr_t& qualifier, const _bstr_t& value)
        : m_Key(key), m_Qualifier(qualifier), m_Value(value) {}

    const _bstr_t& GetKey() const { return m_Key; }
    const _bstr_t& GetQualifier() const { return m_Qualifier; }
    const _bstr_t& GetValue() const { return m_Value; }

  private:
    _bstr_t m_Key;
    _bstr_t m_Qualifier;
    _bstr_t m_Value;
};

// DDPInfoVector - the records collected from a view's parameter objects, in
// the order added. The vector owns its records and deletes them with itself.
class DDPInfoVector {
  public:
    DDPInfoVector() = default;
    DDPInfoVector(const DDPInfoVector&) = delete;
    DDPInfoVector& operator=(const DDPInfoVector&) = delete;
    ~DDPInfoVector();

    // Takes ownership of info (a null info is ignored). When the vector cannot
    // grow, info is deleted and std::bad_alloc passes on: the record is never
    // leaked.
    void AddCurrentValue(UTL_DDPInfo* info);

    std::size_t GetCount() const { return m_Records.size(); }
    // Record i, or null when i is out of range; the vector keeps ownership.
    const UTL_DDPInfo* GetAt(std::size_t i) const;
    // The first record with this key, or null.
    const UTL_DDPInfo* Find(const _bstr_t& key) const;

  private:
    std::vector<std::unique_ptr<UTL_DDPInfo>> m_Records;
};
