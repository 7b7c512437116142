#include "IP/IP_VolData.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

#include "IP/IP_Tissue.h"

namespace {

std::atomic<std::uint64_t> g_nNextSerial{1};

bool valid_spacing(float s) {
    return std::isfinite(s) && s > 0.0f;
}

// nx * ny * nz, raising std::bad_alloc when it cannot be addressed.
std::size_t checked_count(int nx, int ny, int nz) {
    const std::size_t limit = std::numeric_limits<std::size_t>::max() / sizeof(IP_Voxel);
    std::size_t count = std::size_t(nx);
    for (const int n : {ny, nz}) {
        if (count > limit / std::size_t(n)) {
            throw std::bad_alloc();
        }
        count *= std::size_t(n);
    }
    return count;
}

// The voxel index along one axis whose cell holds coordinate c, or -1.
int cell_of(double c, double position, double spacing, int n) {
    const double u = (c - position) / spacing + 0.5;
    if (!(u >= 0.0) || !(u < double(n))) {
        return -1;
    }
    return int(u);
}

}  // namespace

std::size_t IP_VolGeometry::VoxelCount() const {
    if (nx < 1 || ny < 1 || nz < 1) {
        return 0;
    }
    return checked_count(nx, ny, nz);
}

bool IP_VolGeometry::InTableRange(IP_Voxel value) const {
    if (bits_stored < 1 || bits_stored > 16) {
        return false;
    }
    const std::int64_t size = std::int64_t(1) << bits_stored;
    const std::int64_t low = is_signed ? -size / 2 : 0;
    return value >= low && value < low + size;
}

IP_Box IP_VolGeometry::GetPhysicalBox() const {
    const IP_3Coord low(float(double(position.x) - 0.5 * sx), float(double(position.y) - 0.5 * sy),
                        float(double(position.z) - 0.5 * sz));
    const IP_3Coord high(float(double(position.x) + (nx - 0.5) * sx),
                         float(double(position.y) + (ny - 0.5) * sy),
                         float(double(position.z) + (nz - 0.5) * sz));
    return IP_Box::FromCorners(low, high);
}

bool IP_VolGeometry::PhysicalToVoxel(const IP_3Coord& p, int& i, int& j, int& k) const {
    const int a = cell_of(p.x, position.x, sx, nx);
    const int b = cell_of(p.y, position.y, sy, ny);
    const int c = cell_of(p.z, position.z, sz, nz);
    if (a < 0 || b < 0 || c < 0) {
        return false;
    }
    i = a;
    j = b;
    k = c;
    return true;
}

IP_VolData::IP_VolData(const IP_VolGeometry& geometry)
    : m_Geometry(geometry), m_nSerial(g_nNextSerial.fetch_add(1)) {
    if (geometry.nx < 1 || geometry.ny < 1 || geometry.nz < 1) {
        throw std::invalid_argument("IP_VolData: a size below 1");
    }
    if (!valid_spacing(geometry.sx) || !valid_spacing(geometry.sy) || !valid_spacing(geometry.sz)) {
        throw std::invalid_argument("IP_VolData: a spacing that is not positive and finite");
    }
    if (geometry.bits_stored < 1 || geometry.bits_stored > 16) {
        throw std::invalid_argument("IP_VolData: stored bits outside 1..16");
    }
    m_Voxels.assign(geometry.VoxelCount(), 0);
}

IP_VolData::~IP_VolData() = default;

IP_Voxel IP_VolData::GetVoxel(int i, int j, int k) const {
    const IP_VolGeometry& g = m_Geometry;
    if (i < 0 || j < 0 || k < 0 || i >= g.nx || j >= g.ny || k >= g.nz) {
        return 0;
    }
    return m_Voxels[(std::size_t(k) * std::size_t(g.ny) + std::size_t(j)) * std::size_t(g.nx) +
                    std::size_t(i)];
}

void IP_VolData::SetVoxel(int i, int j, int k, IP_Voxel value) {
    const IP_VolGeometry& g = m_Geometry;
    if (i < 0 || j < 0 || k < 0 || i >= g.nx || j >= g.ny || k >= g.nz) {
        return;
    }
    m_Voxels[(std::size_t(k) * std::size_t(g.ny) + std::size_t(j)) * std::size_t(g.nx) +
             std::size_t(i)] = value;
    ++m_nModCount;
}

IP_MultiVolData::~IP_MultiVolData() = default;

void IP_MultiVolData::AddVolData(IP_VolData* volume) {
    std::unique_ptr<IP_VolData> owned(volume);
    if (owned != nullptr) {
        m_Volumes.push_back(std::move(owned));
    }
}

IP_VolData* IP_MultiVolData::GetVolData(int i) const {
    if (i < 0 || i >= GetNVolData()) {
        return nullptr;
    }
    return m_Volumes[std::size_t(i)].get();
}

namespace {

// Number of samples start, start + step, ... up to last (included).
int sample_count(int start, int last, int step) {
    return (last - start) / step + 1;
}

}  // namespace

IP_VolDataProj::IP_VolDataProj(const IP_VolData& source, const IP_ProjBuild& build,
                               const IP_MultiRealListVol* keep, int volume_index,
                               IP_Voxel background)
    : m_pCurrVolData(&source),
      m_nSourceSerial(source.GetSerial()),
      m_nSourceModCount(source.GetModificationCount()),
      m_Build(build),
      m_bKeepsAll(keep == nullptr || keep->GetRanges(volume_index).empty()),
      m_nBackground(background) {
    const IP_VolGeometry& sg = source.GetGeometry();
    if (build.step < 1) {
        throw std::invalid_argument("IP_VolDataProj: a step below 1");
    }
    const int first = std::clamp(build.first_slice, 0, sg.nz - 1);
    const int last = build.last_slice < 0 ? sg.nz - 1 : std::min(build.last_slice, sg.nz - 1);
    if (build.first_slice >= sg.nz || first > last) {
        throw std::invalid_argument("IP_VolDataProj: no slice in the range");
    }
    if (!m_bKeepsAll) {
        m_KeptRanges = keep->GetRanges(volume_index);
    }
    m_Build.first_slice = first;
    m_Build.last_slice = last;

    IP_VolGeometry& g = m_Geometry;
    g.bits_stored = sg.bits_stored;
    g.is_signed = sg.is_signed;
    g.nx = sample_count(0, sg.nx - 1, build.step);
    g.ny = sample_count(0, sg.ny - 1, build.step);
    g.nz = sample_count(first, last, build.step);
    g.sx = float(double(sg.sx) * build.step);
    g.sy = float(double(sg.sy) * build.step);
    g.sz = float(double(sg.sz) * build.step);
    g.position = IP_3Coord(sg.position.x, sg.position.y,
                           float(double(sg.position.z) + double(first) * sg.sz));

    m_Voxels.resize(g.VoxelCount());
    std::size_t n = 0;
    for (int k = 0; k < g.nz; ++k) {
        for (int j = 0; j < g.ny; ++j) {
            for (int i = 0; i < g.nx; ++i) {
                int si = 0, sj = 0, sk = 0;
                ToSourceVoxel(i, j, k, si, sj, sk);
                const IP_Voxel v = source.GetVoxel(si, sj, sk);
                m_Voxels[n++] = m_bKeepsAll || keep->Keeps(volume_index, v) ? v : background;
            }
        }
    }

    if (build.with_blocks) {
        const int bx = (g.nx + kBlock - 1) / kBlock;
        const int by = (g.ny + kBlock - 1) / kBlock;
        const int bz = (g.nz + kBlock - 1) / kBlock;
        const std::size_t blocks = std::size_t(bx) * std::size_t(by) * std::size_t(bz);
        m_BlockMax.assign(blocks, std::numeric_limits<IP_Voxel>::min());
        m_BlockMin.assign(blocks, std::numeric_limits<IP_Voxel>::max());
        for (int k = 0; k < g.nz; ++k) {
            for (int j = 0; j < g.ny; ++j) {
                for (int i = 0; i < g.nx; ++i) {
                    const std::size_t b =
                        (std::size_t(k / kBlock) * std::size_t(by) + std::size_t(j / kBlock)) *
                            std::size_t(bx) +
                        std::size_t(i / kBlock);
                    const IP_Voxel v = GetVoxel(i, j, k);
                    m_BlockMax[b] = std::max(m_BlockMax[b], v);
                    m_BlockMin[b] = std::min(m_BlockMin[b], v);
                }
            }
        }
    }
}

IP_VolDataProj::~IP_VolDataProj() = default;

IP_Voxel IP_VolDataProj::GetVoxel(int i, int j, int k) const {
    const IP_VolGeometry& g = m_Geometry;
    if (i < 0 || j < 0 || k < 0 || i >= g.nx || j >= g.ny || k >= g.nz) {
        return m_nBackground;
    }
    return m_Voxels[(std::size_t(k) * std::size_t(g.ny) + std::size_t(j)) * std::size_t(g.nx) +
                    std::size_t(i)];
}

void IP_VolDataProj::ToSourceVoxel(int i, int j, int k, int& si, int& sj, int& sk) const {
    si = i * m_Build.step;
    sj = j * m_Build.step;
    sk = m_Build.first_slice + k * m_Build.step;
}

bool IP_VolDataProj::IsCurrent(const IP_VolData& source, const IP_ProjBuild& build,
                               const IP_MultiRealListVol* keep, int volume_index,
                               IP_Voxel background) const {
    if (source.GetSerial() != m_nSourceSerial ||
        source.GetModificationCount() != m_nSourceModCount || build.step != m_Build.step ||
        build.with_blocks != m_Build.with_blocks) {
        return false;
    }
    const int nz = source.GetGeometry().nz;
    const int first = std::clamp(build.first_slice, 0, nz - 1);
    const int last = build.last_slice < 0 ? nz - 1 : std::min(build.last_slice, nz - 1);
    if (first != m_Build.first_slice || last != m_Build.last_slice) {
        return false;
    }
    const bool keeps_all = keep == nullptr || keep->GetRanges(volume_index).empty();
    if (keeps_all != m_bKeepsAll) {
        return false;
    }
    if (!keeps_all &&
        (keep->GetRanges(volume_index) != m_KeptRanges || background != m_nBackground)) {
        return false;
    }
    return true;
}
