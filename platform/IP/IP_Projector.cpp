#include "IP/IP_Projector.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "IP/IP_ClipManager.h"
#include "IP/IP_Matrix.h"
#include "IP/IP_MultiVolDataInc.h"
#include "IP/IP_Tissue.h"
#include "IP/IP_VolRParams.h"

namespace {

// Upper bound of samples along one ray through one volume; a longer walk takes
// longer steps.
constexpr double kMaxSamples = 1 << 20;

struct Ray {
    double origin[3];
    double direction[3];
};

struct Sample {
    double t;
    int i;
    int j;
    int k;
    IP_Voxel value;
};

// The ray of the screen point in physical space, or false.
bool make_ray(const IP_VolRParams& params, const IP_3Coord& screen, Ray& ray) {
    if (std::isnan(screen.x) || std::isnan(screen.y) || !std::isfinite(screen.x) ||
        !std::isfinite(screen.y)) {
        return false;
    }
    float view[4][4];
    float inverse[4][4];
    params.GetViewMatrix(view);
    if (!IP_Minv(view, inverse)) {
        return false;
    }
    IP_3Coord a;
    IP_3Coord b;
    IP_vec3mlt(IP_3Coord(screen.x, screen.y, 0.0f), inverse, a);
    IP_vec3mlt(IP_3Coord(screen.x, screen.y, 1.0f), inverse, b);
    ray.origin[0] = a.x;
    ray.origin[1] = a.y;
    ray.origin[2] = a.z;
    ray.direction[0] = double(b.x) - a.x;
    ray.direction[1] = double(b.y) - a.y;
    ray.direction[2] = double(b.z) - a.z;
    for (int c = 0; c < 3; ++c) {
        if (!std::isfinite(ray.origin[c]) || !std::isfinite(ray.direction[c])) {
            return false;
        }
    }
    return ray.direction[0] != 0.0 || ray.direction[1] != 0.0 || ray.direction[2] != 0.0;
}

// The samples of the ray inside the projected volume and the clip region, in
// viewing order.
std::vector<Sample> walk(const IP_VolRParams& params, const IP_VolDataProj& volume,
                         const Ray& ray) {
    std::vector<Sample> samples;
    const IP_VolGeometry& g = volume.GetGeometry();
    const double low[3] = {g.position.x - 0.5 * g.sx, g.position.y - 0.5 * g.sy,
                           g.position.z - 0.5 * g.sz};
    const double size[3] = {double(g.nx) * g.sx, double(g.ny) * g.sy, double(g.nz) * g.sz};
    double tmin = -std::numeric_limits<double>::infinity();
    double tmax = std::numeric_limits<double>::infinity();
    for (int c = 0; c < 3; ++c) {
        const double d = ray.direction[c];
        const double o = ray.origin[c];
        if (d == 0.0) {
            if (o < low[c] || o > low[c] + size[c]) {
                return samples;
            }
            continue;
        }
        double t0 = (low[c] - o) / d;
        double t1 = (low[c] + size[c] - o) / d;
        if (t0 > t1) {
            std::swap(t0, t1);
        }
        tmin = std::max(tmin, t0);
        tmax = std::min(tmax, t1);
    }
    if (!(tmin <= tmax)) {
        return samples;
    }
    if (const IP_VolRClipManager* clip = params.GetClipManager()) {
        const IP_3Coord o(float(ray.origin[0]), float(ray.origin[1]), float(ray.origin[2]));
        const IP_3Coord d(float(ray.direction[0]), float(ray.direction[1]),
                          float(ray.direction[2]));
        if (!clip->ClipLine(o, d, tmin, tmax)) {
            return samples;
        }
    }
    const double length =
        std::sqrt(ray.direction[0] * ray.direction[0] + ray.direction[1] * ray.direction[1] +
                  ray.direction[2] * ray.direction[2]);
    double dt = 0.5 * std::min({double(g.sx), double(g.sy), double(g.sz)}) / length;
    if ((tmax - tmin) / dt > kMaxSamples) {
        dt = (tmax - tmin) / kMaxSamples;
    }
    for (double t = tmin + 0.5 * dt; t <= tmax; t += dt) {
        const IP_3Coord p(float(ray.origin[0] + t * ray.direction[0]),
                          float(ray.origin[1] + t * ray.direction[1]),
                          float(ray.origin[2] + t * ray.direction[2]));
        Sample s{t, 0, 0, 0, 0};
        if (g.PhysicalToVoxel(p, s.i, s.j, s.k)) {
            s.value = volume.GetVoxel(s.i, s.j, s.k);
            samples.push_back(s);
        }
    }
    return samples;
}

void write_outputs(const IP_VolDataProj& volume, const Sample& s, IP_3Coord* physical,
                   IP_3Coord* voxel) {
    int si = 0, sj = 0, sk = 0;
    volume.ToSourceVoxel(s.i, s.j, s.k, si, sj, sk);
    const IP_VolGeometry& g = volume.GetCurrVolData()->GetGeometry();
    if (physical != nullptr) {
        *physical = IP_3Coord(float(double(g.position.x) + double(si) * g.sx),
                              float(double(g.position.y) + double(sj) * g.sy),
                              float(double(g.position.z) + double(sk) * g.sz), 1.0f);
    }
    if (voxel != nullptr) {
        *voxel = IP_3Coord(float(si), float(sj), float(sk), 1.0f);
    }
}

// The middle of the run [first, last] of sample indices around index at that
// satisfy keep.
template <class Keep>
std::size_t run_middle(const std::vector<Sample>& samples, std::size_t at, Keep keep) {
    std::size_t first = at;
    std::size_t last = at;
    while (first > 0 && keep(samples[first - 1])) {
        --first;
    }
    while (last + 1 < samples.size() && keep(samples[last + 1])) {
        ++last;
    }
    return first + (last - first) / 2;
}

bool mip_project(IP_VolRParams* params, const IP_3Coord& screen, IP_3Coord* physical,
                 IP_3Coord* voxel, bool vessel) {
    if (params == nullptr || params->GetSlowVolData() == nullptr) {
        return false;
    }
    Ray ray;
    if (!make_ray(*params, screen, ray)) {
        return false;
    }
    const IP_MultiVolDataInc& data = *params->GetSlowVolData();
    const IP_VolDataProj* best_volume = nullptr;
    Sample best{};
    for (int v = 0; v < data.GetNVolData(); ++v) {
        const IP_VolDataProj& volume = *data.GetVolData(v);
        const std::vector<Sample> samples = walk(*params, volume, ray);
        if (samples.empty()) {
            continue;
        }
        std::size_t at = 0;
        IP_Voxel lowest = samples[0].value;
        for (std::size_t n = 1; n < samples.size(); ++n) {
            if (samples[n].value > samples[at].value) {
                at = n;
            }
            lowest = std::min(lowest, samples[n].value);
        }
        if (vessel) {
            const double half = 0.5 * (double(lowest) + double(samples[at].value));
            at = run_middle(samples, at,
                            [half](const Sample& s) { return double(s.value) >= half; });
        }
        // The value compared between volumes is the maximum itself.
        const IP_Voxel maximum = vessel ? std::max_element(samples.begin(), samples.end(),
                                                           [](const Sample& a, const Sample& b) {
                                                               return a.value < b.value;
                                                           })
                                              ->value
                                        : samples[at].value;
        if (best_volume == nullptr || maximum > best.value) {
            best_volume = &volume;
            best = samples[at];
            best.value = maximum;
        }
    }
    if (best_volume == nullptr) {
        return false;
    }
    write_outputs(*best_volume, best, physical, voxel);
    return true;
}

double opacity_of(const IP_VolDataProj& volume, int v, const Sample& s, const unsigned int** tables,
                  const IP_MultiVolRTisIndInc* tis_ind) {
    int tissue = kIP_DefaultTissue;
    if (tis_ind != nullptr) {
        int si = 0, sj = 0, sk = 0;
        volume.ToSourceVoxel(s.i, s.j, s.k, si, sj, sk);
        tissue = tis_ind->GetTissue(v, si, sj, sk);
    }
    const unsigned int* table = tables[tissue];
    if (table == nullptr || !volume.GetGeometry().InTableRange(s.value)) {
        return 0.0;
    }
    return double(table[s.value] & 0xFFu) / 255.0;
}

bool volr_project(IP_VolRParams* params, const IP_3Coord& screen, IP_3Coord* physical,
                  IP_3Coord* voxel, const unsigned int** tables,
                  const IP_MultiVolRTisIndInc* tis_ind, bool vessel) {
    if (params == nullptr || params->GetSlowVolData() == nullptr || tables == nullptr) {
        return false;
    }
    Ray ray;
    if (!make_ray(*params, screen, ray)) {
        return false;
    }
    const double threshold = std::clamp(params->GetOpacityThreshold(), 1, 255) / 255.0;
    const IP_MultiVolDataInc& data = *params->GetSlowVolData();
    const IP_VolDataProj* best_volume = nullptr;
    Sample best{};
    for (int v = 0; v < data.GetNVolData(); ++v) {
        const IP_VolDataProj& volume = *data.GetVolData(v);
        const std::vector<Sample> samples = walk(*params, volume, ray);
        double accumulated = 0.0;
        for (std::size_t n = 0; n < samples.size(); ++n) {
            accumulated += (1.0 - accumulated) * opacity_of(volume, v, samples[n], tables, tis_ind);
            if (accumulated + 1e-12 < threshold) {
                continue;
            }
            if (best_volume == nullptr || samples[n].t < best.t) {
                std::size_t at = n;
                if (vessel) {
                    std::size_t last = n;
                    while (last + 1 < samples.size() &&
                           opacity_of(volume, v, samples[last + 1], tables, tis_ind) > 0.0) {
                        ++last;
                    }
                    at = n + (last - n) / 2;
                }
                best_volume = &volume;
                best = samples[at];
                best.t = samples[n].t;
            }
            break;
        }
    }
    if (best_volume == nullptr) {
        return false;
    }
    write_outputs(*best_volume, best, physical, voxel);
    return true;
}

}  // namespace

bool IP_MIPProjector::Screen2Physical(IP_VolRParams* params, const IP_3Coord& screen,
                                      IP_3Coord* physical, IP_3Coord* volume) {
    return mip_project(params, screen, physical, volume, false);
}

bool IP_MIPProjector::VesselScreen2Physical(IP_VolRParams* params, const IP_3Coord& screen,
                                            IP_3Coord* physical, IP_3Coord* volume) {
    return mip_project(params, screen, physical, volume, true);
}

bool IP_VolRProjector::Screen2Physical(IP_VolRParams* params, const IP_3Coord& screen,
                                       IP_3Coord* physical, IP_3Coord* volume,
                                       const unsigned int** tables,
                                       IP_MultiVolRTisIndInc* tis_ind) {
    return volr_project(params, screen, physical, volume, tables, tis_ind, false);
}

bool IP_VolRProjector::VesselScreen2Physical(IP_VolRParams* params, const IP_3Coord& screen,
                                             IP_3Coord* physical, IP_3Coord* volume,
                                             const unsigned int** tables,
                                             IP_MultiVolRTisIndInc* tis_ind) {
    return volr_project(params, screen, physical, volume, tables, tis_ind, true);
}
