#include "IP/IP_Tissue.h"

#include <algorithm>
#include <cmath>
#include <new>

IP_MultiRealListVol::~IP_MultiRealListVol() = default;

bool IP_MultiRealListVol::AddRange(int volume, double low, double high) {
    if (volume < 0 || std::isnan(low) || std::isnan(high) || low > high) {
        return false;
    }
    if (std::size_t(volume) >= m_Ranges.size()) {
        m_Ranges.resize(std::size_t(volume) + 1);
    }
    m_Ranges[std::size_t(volume)].emplace_back(low, high);
    return true;
}

const std::vector<std::pair<double, double>>& IP_MultiRealListVol::GetRanges(int volume) const {
    static const std::vector<std::pair<double, double>> kNone;
    if (volume < 0 || std::size_t(volume) >= m_Ranges.size()) {
        return kNone;
    }
    return m_Ranges[std::size_t(volume)];
}

bool IP_MultiRealListVol::Keeps(int volume, double value) const {
    const auto& ranges = GetRanges(volume);
    if (ranges.empty()) {
        return true;
    }
    return std::any_of(ranges.begin(), ranges.end(),
                       [value](const auto& r) { return r.first <= value && value <= r.second; });
}

void IP_MultiRealListVol::CopyRangesFrom(const IP_MultiRealListVol& other) {
    if (this != &other) {
        m_Ranges = other.m_Ranges;
    }
}

bool IP_VolRTissueList::Add(int tissue, IP_Voxel low, IP_Voxel high) {
    if (tissue < 0 || tissue >= kIP_TissueCount || low > high) {
        return false;
    }
    m_Entries.push_back(Entry{tissue, low, high});
    return true;
}

int IP_VolRTissueList::TissueOf(IP_Voxel value, int fallback) const {
    for (const Entry& e : m_Entries) {
        if (e.low <= value && value <= e.high) {
            return e.tissue;
        }
    }
    return fallback;
}

IP_MultiVolRTisIndInc::~IP_MultiVolRTisIndInc() = default;

bool IP_MultiVolRTisIndInc::Rebuild(IP_MultiVolData* data, int first_slice, int last_slice,
                                    int fallback, bool incremental, const IP_VolRTissueList& list) {
    if (data == nullptr) {
        return false;
    }
    const int tissue_fallback = std::clamp(fallback, 0, kIP_TissueCount - 1);
    try {
        std::vector<Volume> built;
        built.reserve(std::size_t(data->GetNVolData()));
        for (int v = 0; v < data->GetNVolData(); ++v) {
            const IP_VolData& source = *data->GetVolData(v);
            const IP_VolGeometry& g = source.GetGeometry();
            int first = 0;
            int last = g.nz - 1;
            const Volume* old = v < GetNVol() ? &m_Volumes[std::size_t(v)] : nullptr;
            const bool reuse = incremental && old != nullptr && old->serial == source.GetSerial() &&
                               old->geometry.nx == g.nx && old->geometry.ny == g.ny &&
                               old->geometry.nz == g.nz;
            Volume made{&source, source.GetSerial(), g, {}};
            if (reuse) {
                made.tissues = old->tissues;
                first = std::clamp(first_slice, 0, g.nz);
                last = last_slice < 0 ? g.nz - 1 : std::min(last_slice, g.nz - 1);
            } else {
                made.tissues.assign(g.VoxelCount(), std::uint8_t(tissue_fallback));
            }
            const std::size_t slice = std::size_t(g.nx) * std::size_t(g.ny);
            const IP_Voxel* voxels = source.GetVoxels();
            for (int k = first; k <= last; ++k) {
                for (std::size_t n = std::size_t(k) * slice; n < std::size_t(k + 1) * slice; ++n) {
                    made.tissues[n] = std::uint8_t(list.TissueOf(voxels[n], tissue_fallback));
                }
            }
            built.push_back(std::move(made));
        }
        m_Volumes.swap(built);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int IP_MultiVolRTisIndInc::GetTissue(int volume, int i, int j, int k) const {
    if (volume < 0 || volume >= GetNVol()) {
        return kIP_DefaultTissue;
    }
    const Volume& v = m_Volumes[std::size_t(volume)];
    const IP_VolGeometry& g = v.geometry;
    if (i < 0 || j < 0 || k < 0 || i >= g.nx || j >= g.ny || k >= g.nz) {
        return kIP_DefaultTissue;
    }
    return v.tissues[(std::size_t(k) * std::size_t(g.ny) + std::size_t(j)) * std::size_t(g.nx) +
                     std::size_t(i)];
}

const IP_VolData* IP_MultiVolRTisIndInc::GetSource(int volume) const {
    if (volume < 0 || volume >= GetNVol()) {
        return nullptr;
    }
    return m_Volumes[std::size_t(volume)].source;
}
