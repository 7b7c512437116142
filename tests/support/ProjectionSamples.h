#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "IP/IP_VolData.h"

// Processed volumes and log-text helpers shared by the projection tests.
namespace vxrp_test {

// A volume of nx * ny * nz voxels, spacing 1, at position, whose voxel (i, j, k)
// holds value(i, j, k).
template <class Value>
std::unique_ptr<IP_VolData> MakeVolume(int nx, int ny, int nz, Value value,
                                       IP_3Coord position = IP_3Coord(0, 0, 0)) {
    IP_VolGeometry g;
    g.nx = nx;
    g.ny = ny;
    g.nz = nz;
    g.position = position;
    auto volume = std::make_unique<IP_VolData>(g);
    for (int k = 0; k < nz; ++k) {
        for (int j = 0; j < ny; ++j) {
            for (int i = 0; i < nx; ++i) {
                volume->SetVoxel(i, j, k, value(i, j, k));
            }
        }
    }
    return volume;
}

// Processed data of count volumes of 4 x 4 x 4 voxels holding i + 4j + 16k.
inline std::unique_ptr<IP_MultiVolData> MakeMultiVolData(int count) {
    auto data = std::make_unique<IP_MultiVolData>();
    for (int v = 0; v < count; ++v) {
        data->AddVolData(
            MakeVolume(4, 4, 4, [](int i, int j, int k) { return i + 4 * j + 16 * k; }).release());
    }
    return data;
}

// A pointer as the log prints it.
inline std::string Ptr(const void* p) {
    char text[64];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

}  // namespace vxrp_test
