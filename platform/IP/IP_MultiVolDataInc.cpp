#include "IP/IP_MultiVolDataInc.h"

#include <new>
#include <stdexcept>
#include <utility>

IP_MultiVolDataInc::~IP_MultiVolDataInc() = default;

IP_VolDataProj* IP_MultiVolDataInc::GetVolData(int i) const {
    if (i < 0 || i >= GetNVolData()) {
        return nullptr;
    }
    return m_Volumes[std::size_t(i)].get();
}

void IP_MultiVolDataInc::EnterDataProtectCriticalSection() {
    m_DataProtect.lock();
}

bool IP_MultiVolDataInc::TryEnterDataProtectCriticalSection() {
    return m_DataProtect.try_lock();
}

void IP_MultiVolDataInc::LeaveDataProtectCriticalSection() {
    m_DataProtect.unlock();
}

bool IP_MultiVolDataInc::rebuild(IP_MultiVolData* data, const IP_ProjBuild& build,
                                 const IP_MultiRealListVol* keep, IP_Voxel background,
                                 bool incremental, bool protect) {
    if (data == nullptr || build.step < 1) {
        return false;
    }
    // The new volumes are made aside, so that a failure leaves the data as they
    // were and readers holding the lock wait only for the exchange.
    std::vector<std::unique_ptr<IP_VolDataProj>> built;
    std::vector<std::size_t> reused;
    try {
        built.resize(std::size_t(data->GetNVolData()));
        for (int v = 0; v < data->GetNVolData(); ++v) {
            const IP_VolData& source = *data->GetVolData(v);
            IP_VolDataProj* old = GetVolData(v);
            if (incremental && old != nullptr &&
                old->IsCurrent(source, build, keep, v, background)) {
                reused.push_back(std::size_t(v));
                continue;
            }
            built[std::size_t(v)] =
                std::make_unique<IP_VolDataProj>(source, build, keep, v, background);
        }
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::invalid_argument&) {
        return false;
    }
    if (protect) {
        EnterDataProtectCriticalSection();
    }
    for (const std::size_t v : reused) {
        built[v] = std::move(m_Volumes[v]);
    }
    m_Volumes.swap(built);
    m_Build = build;
    m_bProtect = protect;
    m_nBackground = background;
    if (protect) {
        LeaveDataProtectCriticalSection();
    }
    return true;
}

IP_MultiVolDataIncMIP::~IP_MultiVolDataIncMIP() = default;

bool IP_MultiVolDataIncMIP::Rebuild(IP_MultiVolData* data, IP_MultiRealListVol* tissues,
                                    bool incremental, int step, int first_slice, int last_slice,
                                    int blocks, bool protect, int background) {
    const IP_ProjBuild build{step, first_slice, last_slice, blocks != 0};
    return rebuild(data, build, tissues, background, incremental, protect);
}

bool IP_MultiVolDataIncMIP::CopyWithTissue(IP_MultiVolData* data, IP_MultiRealListVol* tissues,
                                           int first_slice, int last_slice, int background) {
    IP_ProjBuild build = GetBuild();
    build.first_slice = first_slice;
    build.last_slice = last_slice;
    return rebuild(data, build, tissues, background, false, m_bProtect);
}

bool IP_MultiVolDataIncMIP::CopyFastFromSlow(IP_MultiVolData* data, IP_MultiRealListVol* tissues,
                                             int first_slice, int last_slice, int background) {
    return CopyWithTissue(data, tissues, first_slice, last_slice, background);
}

void IP_MultiVolDataIncMIP::SetSlowTissueList(const IP_MultiRealListVol* list) {
    if (list == nullptr) {
        m_SlowTissues.CopyRangesFrom(IP_MultiRealListVol());
    } else {
        m_SlowTissues.CopyRangesFrom(*list);
    }
}

void IP_MultiVolDataIncMIP::ResetCManager() {
    m_SlowTissues.CopyRangesFrom(IP_MultiRealListVol());
}

IP_MultiVolDataIncVolR::~IP_MultiVolDataIncVolR() {
    IP_AssignRef(m_pTisInd, static_cast<IP_MultiVolRTisIndInc*>(nullptr));
}

bool IP_MultiVolDataIncVolR::Rebuild(IP_MultiVolData* data, const unsigned int** tables,
                                     IP_MultiVolRTisIndInc* tis_ind, int step, int first_slice,
                                     int last_slice, int blocks, bool protect) {
    const IP_ProjBuild build{step, first_slice, last_slice, blocks != 0};
    if (!rebuild(data, build, nullptr, 0, true, protect)) {
        return false;
    }
    SetSlowMultiTisInd(tis_ind, tables);
    return true;
}

bool IP_MultiVolDataIncVolR::CopyWithTissue(IP_MultiVolData* data, const unsigned int** tables,
                                            IP_MultiVolRTisIndInc* tis_ind, int first_slice,
                                            int last_slice) {
    IP_ProjBuild build = GetBuild();
    build.first_slice = first_slice;
    build.last_slice = last_slice;
    if (!rebuild(data, build, nullptr, 0, false, m_bProtect)) {
        return false;
    }
    SetSlowMultiTisInd(tis_ind, tables);
    return true;
}

bool IP_MultiVolDataIncVolR::CopyFastFromSlow(IP_MultiVolData* data, const unsigned int** tables,
                                              IP_MultiVolRTisIndInc* tis_ind, int first_slice,
                                              int last_slice) {
    return CopyWithTissue(data, tables, tis_ind, first_slice, last_slice);
}

void IP_MultiVolDataIncVolR::SetSlowMultiTisInd(IP_MultiVolRTisIndInc* tis_ind,
                                                const unsigned int** tables) {
    IP_AssignRef(m_pTisInd, tis_ind);
    for (int t = 0; t < kIP_TissueCount; ++t) {
        m_Tables[t] = tables != nullptr ? tables[t] : nullptr;
    }
}

const unsigned int* IP_MultiVolDataIncVolR::GetColorTable(int t) const {
    if (t < 0 || t >= kIP_TissueCount) {
        return nullptr;
    }
    return m_Tables[t];
}

void IP_MultiVolDataIncVolR::ResetCManager() {
    SetSlowMultiTisInd(nullptr, nullptr);
}
