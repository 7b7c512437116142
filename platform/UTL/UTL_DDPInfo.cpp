#include "UTL/UTL_DDPInfo.h"

#include <utility>

DDPInfoVector::~DDPInfoVector() = default;

void DDPInfoVector::AddCurrentValue(UTL_DDPInfo* info) {
    std::unique_ptr<UTL_DDPInfo> owned(info);
    if (owned) {
        m_Records.push_back(std::move(owned));
    }
}

const UTL_DDPInfo* DDPInfoVector::GetAt(std::size_t i) const {
    return i < m_Records.size() ? m_Records[i].get() : nullptr;
}

const UTL_DDPInfo* DDPInfoVector::Find(const _bstr_t& key) const {
    for (const auto& record : m_Records) {
        if (record->GetKey() == key) {
            return record.get();
        }
    }
    return nullptr;
}
