#pragma once

#include "IP/IP_3Coord.h"

class IP_VolRParams;
class IP_MultiVolRTisIndInc;

// The projectors: from a point on the screen to the voxel the renderer shows
// there, through the slow prepared data of a view's rendering parameters.
//
// The ray: the view matrix V of the parameters maps physical to screen
// coordinates (p_screen = p * V). The screen point (x, y, z) stands for the line
// of screen points (x, y, t), all t; the viewer looks along +t. The line is
// taken back to physical space through V's inverse, cut to each projected
// volume's box and to the region the clip manager's visible planes bound (when
// a clip manager is set), and sampled every half of the volume's smallest
// spacing, each sample taking the projected voxel whose cell holds it.
//
// Outputs, for a voxel found: physical gets the centre of the voxel in physical
// coordinates, volume its source voxel indices (i, j, k), both with w = 1; a
// null output is skipped. Nothing is written when the answer is false: no slow
// data, a view matrix without inverse, a NaN screen point, a ray that misses
// every volume, or (volume rendering) no colour tables or a ray that never
// reaches the opacity threshold.
//
// The caller holds the slow data's data-protect critical section when other
// threads may rebuild it.
class IP_MIPProjector {
  public:
    // The voxel of highest value on the ray; among equal values, the nearest to
    // the viewer; over several volumes, the highest of their maxima.
    static bool Screen2Physical(IP_VolRParams* params, const IP_3Coord& screen, IP_3Coord* physical,
                                IP_3Coord* volume);
    // The centre of the bright structure at that maximum: the middle sample of
    // the run of samples around the maximum whose values are at least half-way
    // from the ray's lowest value to its highest.
    static bool VesselScreen2Physical(IP_VolRParams* params, const IP_3Coord& screen,
                                      IP_3Coord* physical, IP_3Coord* volume);
};

class IP_VolRProjector {
  public:
    // Compositing front to back, the first voxel at which the accumulated
    // opacity reaches the parameters' opacity threshold (at least 1 of 255).
    // A sample's opacity is the low byte of its colour-table entry: the table of
    // its tissue (tis_ind's value for the voxel, or kIP_DefaultTissue without an
    // index), indexed by its raw value; a missing table, or a value outside the
    // table's range (the source volume's stored bits and signedness), is
    // transparent. Over several volumes, the nearest such voxel.
    static bool Screen2Physical(IP_VolRParams* params, const IP_3Coord& screen, IP_3Coord* physical,
                                IP_3Coord* volume, const unsigned int** tables,
                                IP_MultiVolRTisIndInc* tis_ind);
    // The middle of the opaque run that begins at that voxel (the samples up to
    // the first transparent one).
    static bool VesselScreen2Physical(IP_VolRParams* params, const IP_3Coord& screen,
                                      IP_3Coord* physical, IP_3Coord* volume,
                                      const unsigned int** tables, IP_MultiVolRTisIndInc* tis_ind);
};
