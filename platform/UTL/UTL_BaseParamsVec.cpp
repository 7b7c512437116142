#include "UTL/UTL_BaseParamsVec.h"

#include <algorithm>

#include "UTL/UTL_BaseParams.h"

UTL_BaseParamsVec::~UTL_BaseParamsVec() {
    for (UTL_BaseParams* params : m_Params) {
        params->Release();
    }
}

void UTL_BaseParamsVec::Add(UTL_BaseParams* params) {
    if (params != nullptr) {
        m_Params.push_back(params);
    }
}

void UTL_BaseParamsVec::AddShared(UTL_BaseParams* params) {
    if (params != nullptr) {
        params->AddRef();
        m_Params.push_back(params);
    }
}

std::size_t UTL_BaseParamsVec::Remove(std::string_view name) {
    std::vector<UTL_BaseParams*> removed;
    auto kept = std::stable_partition(m_Params.begin(), m_Params.end(),
                                      [&](UTL_BaseParams* p) { return p->GetName() != name; });
    removed.assign(kept, m_Params.end());
    m_Params.erase(kept, m_Params.end());
    for (UTL_BaseParams* params : removed) {
        params->Release();
    }
    return removed.size();
}

UTL_BaseParams* UTL_BaseParamsVec::GetParams(const char* name) const {
    if (name == nullptr) {
        return nullptr;
    }
    for (UTL_BaseParams* params : m_Params) {
        if (params->GetName() == name) {
            return params;
        }
    }
    return nullptr;
}

UTL_BaseParams* UTL_BaseParamsVec::GetAt(std::size_t i) const {
    return i < m_Params.size() ? m_Params[i] : nullptr;
}
