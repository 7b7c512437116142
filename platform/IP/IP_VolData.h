#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "IP/IP_3Coord.h"
#include "IP/IP_Box.h"

// The processed volumes of a series and the projected (prepared) copies that
// the renderer and the picking work on.
//
// Geometry, shared by every volume here: a volume is nx * ny * nz voxels, stored
// x fastest, then y, then z. It is axis-aligned in physical space: the centre of
// voxel (i, j, k) is position + (i * sx, j * sy, k * sz), spacing (sx, sy, sz)
// positive. The volume occupies the box from the centre of voxel (0, 0, 0) minus
// half a spacing to the centre of the last voxel plus half a spacing.
//
// Voxels are raw stored values (the values the colour tables are indexed by),
// held as 32-bit signed integers whatever the series stored.

using IP_Voxel = std::int32_t;

// Sizes, spacing and position of a volume.
struct IP_VolGeometry {
    int nx = 0;
    int ny = 0;
    int nz = 0;
    float sx = 1.0f;
    float sy = 1.0f;
    float sz = 1.0f;
    IP_3Coord position;

    // The raw values' storage: the colour tables cover [0, 2^bits) for
    // unsigned data and [-2^(bits-1), 2^(bits-1)) for signed data (bits 1..16).
    int bits_stored = 12;
    bool is_signed = false;

    std::size_t VoxelCount() const;
    // Whether a colour table of this storage has an entry for value.
    bool InTableRange(IP_Voxel value) const;
    // The physical box the voxels occupy (see above).
    IP_Box GetPhysicalBox() const;
    // The voxel whose cell holds the physical point, or false when the point
    // lies outside the volume (or is NaN).
    bool PhysicalToVoxel(const IP_3Coord& p, int& i, int& j, int& k) const;
};

// One processed volume. Sizes below 1, spacings that are not positive and
// finite, and bits_stored outside 1..16 are refused: the constructor raises std::invalid_argument;
// a volume too large to address raises std::bad_alloc.
class IP_VolData {
  public:
    explicit IP_VolData(const IP_VolGeometry& geometry);
    IP_VolData(const IP_VolData&) = delete;
    IP_VolData& operator=(const IP_VolData&) = delete;
    ~IP_VolData();

    const IP_VolGeometry& GetGeometry() const { return m_Geometry; }
    IP_Voxel GetVoxel(int i, int j, int k) const;
    // Writes one voxel and counts a modification. Out-of-range indices are ignored.
    void SetVoxel(int i, int j, int k, IP_Voxel value);
    const IP_Voxel* GetVoxels() const { return m_Voxels.data(); }
    // Direct access for filling; call Modified() afterwards.
    IP_Voxel* GetVoxelsForWriting() { return m_Voxels.data(); }
    void Modified() { ++m_nModCount; }

    // A number no other volume of this process carries (also not one made
    // after this one was deleted), and a count of the changes to the voxels:
    // together they tell a rebuild whether a prepared copy is still current.
    std::uint64_t GetSerial() const { return m_nSerial; }
    std::uint64_t GetModificationCount() const { return m_nModCount; }

  private:
    IP_VolGeometry m_Geometry;
    std::vector<IP_Voxel> m_Voxels;
    std::uint64_t m_nSerial;
    std::uint64_t m_nModCount = 0;
};

// The processed volumes of one view, owned. Not copyable.
class IP_MultiVolData {
  public:
    IP_MultiVolData() = default;
    IP_MultiVolData(const IP_MultiVolData&) = delete;
    IP_MultiVolData& operator=(const IP_MultiVolData&) = delete;
    ~IP_MultiVolData();

    // Takes the volume over. A null volume is ignored. May raise std::bad_alloc,
    // and then the volume is deleted.
    void AddVolData(IP_VolData* volume);
    int GetNVolData() const { return int(m_Volumes.size()); }
    // Volume i, or null for an index outside the list.
    IP_VolData* GetVolData(int i) const;

  private:
    std::vector<std::unique_ptr<IP_VolData>> m_Volumes;
};

// How a projected volume is made from its source volume (the integer arguments
// of the rebuild calls, see IP/IP_MultiVolDataInc.h).
struct IP_ProjBuild {
    // Every step-th voxel along each axis is taken (1: all).
    int step = 1;
    // Slices (source z indices) first to last, both included, are taken; a
    // negative last means through the source's last slice. Clamped into the
    // source.
    int first_slice = 0;
    int last_slice = -1;
    // Whether block maxima and minima (IP_VolDataProj::kBlock voxels a side)
    // are computed for empty-space skipping.
    bool with_blocks = false;

    bool operator==(const IP_ProjBuild& other) const = default;
};

class IP_MultiRealListVol;

// A projected volume: the voxels of one source volume as the renderer walks
// them, sampled by the build's step and restricted to its slices, with the
// values that no tissue keeps replaced by a background value (MIP).
//
// GetCurrVolData is the very source volume it was made from (not owned; valid
// while the source's IP_MultiVolData lives). The projected voxels are its own.
class IP_VolDataProj {
  public:
    static constexpr int kBlock = 8;

    // Builds from source (see IP_ProjBuild). keep: the tissue ranges of this
    // volume, null to keep every value; background: the value of voxels that
    // keep drops. Raises std::invalid_argument for a step below 1 or slices
    // that leave nothing, std::bad_alloc when memory runs out.
    IP_VolDataProj(const IP_VolData& source, const IP_ProjBuild& build,
                   const IP_MultiRealListVol* keep, int volume_index, IP_Voxel background);
    IP_VolDataProj(const IP_VolDataProj&) = delete;
    IP_VolDataProj& operator=(const IP_VolDataProj&) = delete;
    ~IP_VolDataProj();

    const IP_VolData* GetCurrVolData() const { return m_pCurrVolData; }
    const IP_VolGeometry& GetGeometry() const { return m_Geometry; }
    const IP_ProjBuild& GetBuild() const { return m_Build; }
    IP_Voxel GetVoxel(int i, int j, int k) const;
    const std::vector<IP_Voxel>& GetVoxels() const { return m_Voxels; }
    // The source voxel that projected voxel (i, j, k) was taken from.
    void ToSourceVoxel(int i, int j, int k, int& si, int& sj, int& sk) const;

    // Block maxima and minima, blocks of kBlock voxels a side (the last ones
    // smaller), x fastest; empty unless the build asked for them.
    const std::vector<IP_Voxel>& GetBlockMaxima() const { return m_BlockMax; }
    const std::vector<IP_Voxel>& GetBlockMinima() const { return m_BlockMin; }

    // Whether this volume was made from the source in its present state with
    // the same build, tissue ranges and background.
    bool IsCurrent(const IP_VolData& source, const IP_ProjBuild& build,
                   const IP_MultiRealListVol* keep, int volume_index, IP_Voxel background) const;

  private:
    const IP_VolData* m_pCurrVolData;
    std::uint64_t m_nSourceSerial;
    std::uint64_t m_nSourceModCount;
    IP_ProjBuild m_Build;
    std::vector<std::pair<double, double>> m_KeptRanges;
    bool m_bKeepsAll;
    IP_Voxel m_nBackground;
    IP_VolGeometry m_Geometry;
    std::vector<IP_Voxel> m_Voxels;
    std::vector<IP_Voxel> m_BlockMax;
    std::vector<IP_Voxel> m_BlockMin;
};
