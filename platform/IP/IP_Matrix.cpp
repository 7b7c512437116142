#include "IP/IP_Matrix.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

namespace {

using Mat4d = double[4][4];
using Mat3d = double[3][3];

void load(const float (*m)[4], Mat4d& out) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[i][j] = m[i][j];
}

void store(const Mat4d& m, float (*out)[4]) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[i][j] = static_cast<float>(m[i][j]);
}

void identity4(Mat4d& m) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m[i][j] = i == j ? 1.0 : 0.0;
}

bool all_finite(const Mat4d& m) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!std::isfinite(m[i][j]))
                return false;
    return true;
}

// Gauss-Jordan elimination with partial pivoting on a row-equilibrated copy:
// scaling each row to a largest magnitude of 1 makes the singularity test
// independent of units (a millimetre matrix and a metre matrix behave alike).
bool invert4(const Mat4d& m, Mat4d& inv) {
    if (!all_finite(m))
        return false;
    Mat4d a;
    double rowScale[4];
    for (int i = 0; i < 4; ++i) {
        double largest = 0.0;
        for (int j = 0; j < 4; ++j)
            largest = std::fmax(largest, std::fabs(m[i][j]));
        if (largest == 0.0)
            return false;
        rowScale[i] = 1.0 / largest;
        for (int j = 0; j < 4; ++j)
            a[i][j] = m[i][j] * rowScale[i];
    }
    // inv starts as the scaling D, so the elimination leaves (D*m)^-1 * D = m^-1.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            inv[i][j] = i == j ? rowScale[i] : 0.0;

    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (!(std::fabs(a[pivot][col]) > kIP_SingularTolerance))
            return false;
        if (pivot != col) {
            for (int j = 0; j < 4; ++j) {
                std::swap(a[pivot][j], a[col][j]);
                std::swap(inv[pivot][j], inv[col][j]);
            }
        }
        const double p = a[col][col];
        for (int j = 0; j < 4; ++j) {
            a[col][j] /= p;
            inv[col][j] /= p;
        }
        for (int r = 0; r < 4; ++r) {
            if (r == col)
                continue;
            const double f = a[r][col];
            if (f == 0.0)
                continue;
            for (int j = 0; j < 4; ++j) {
                a[r][j] -= f * a[col][j];
                inv[r][j] -= f * inv[col][j];
            }
        }
    }
    return all_finite(inv);
}

void mul3(const Mat3d& a, const Mat3d& b, Mat3d& out) {
    Mat3d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = r[i][j];
}

double det3(const Mat3d& m) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

bool invert3(const Mat3d& m, Mat3d& inv) {
    const double det = det3(m);
    if (!std::isfinite(det) || det == 0.0)
        return false;
    inv[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    inv[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    inv[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    inv[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    inv[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    inv[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    inv[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    inv[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    inv[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return true;
}

// Right-handed rotation by `angle` about the unit axis u, in the row-vector
// layout: R[i][j] = c*I + (1-c)*u_i*u_j + s*e_ijk*u_k (the transpose of the
// column-vector form).
void rotation3(double angle, const double u[3], Mat3d& r) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double t = 1.0 - c;
    r[0][0] = c + t * u[0] * u[0];
    r[0][1] = t * u[0] * u[1] + s * u[2];
    r[0][2] = t * u[0] * u[2] - s * u[1];
    r[1][0] = t * u[1] * u[0] - s * u[2];
    r[1][1] = c + t * u[1] * u[1];
    r[1][2] = t * u[1] * u[2] + s * u[0];
    r[2][0] = t * u[2] * u[0] + s * u[1];
    r[2][1] = t * u[2] * u[1] - s * u[0];
    r[2][2] = c + t * u[2] * u[2];
}

void embed(const Mat3d& r, Mat4d& m) {
    identity4(m);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = r[i][j];
}

// out = the rotation by angle about the unit axis u, as a 4x4 float matrix.
void store_rotation(double angle, const double u[3], float (*out)[4]) {
    Mat3d r;
    rotation3(angle, u, r);
    Mat4d m;
    embed(r, m);
    store(m, out);
}

bool is_rigid(const Mat4d& m) {
    if (!all_finite(m))
        return false;
    for (int i = 0; i < 3; ++i) {
        if (!(std::fabs(m[i][3]) <= kIP_RotationTolerance))
            return false;
        for (int j = 0; j < 3; ++j) {
            const double rrt = m[i][0] * m[j][0] + m[i][1] * m[j][1] + m[i][2] * m[j][2];
            if (!(std::fabs(rrt - (i == j ? 1.0 : 0.0)) <= kIP_RotationTolerance))
                return false;
        }
    }
    if (!(std::fabs(m[3][3] - 1.0) <= kIP_RotationTolerance))
        return false;
    Mat3d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = m[i][j];
    return det3(r) > 0.0;
}

// The unit axis of a rotation R that turns by more than a quarter, up to its
// sign, from the symmetric part (R + R^T) / 2 - c I = (1 - c) u u^T: the column
// of its largest diagonal entry is a multiple of u. The component of largest
// magnitude comes out positive (the first such on a tie).
void symmetric_axis(const Mat3d& r, double c, double axis[3]) {
    double b[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            b[i][j] = (r[i][j] + r[j][i]) * 0.5 - (i == j ? c : 0.0);
    int big = 0;
    for (int i = 1; i < 3; ++i)
        if (b[i][i] > b[big][big])
            big = i;
    const double norm =
        std::sqrt(b[0][big] * b[0][big] + b[1][big] * b[1][big] + b[2][big] * b[2][big]);
    for (int i = 0; i < 3; ++i)
        axis[i] = b[i][big] / norm;
}

// The rotation R^(1/k) of a proper rotation R, following the root choice the
// header states.
void rotation_root(const Mat3d& r, int k, Mat3d& root) {
    // w = 2 sin(angle) * axis in the row-vector layout.
    const double w[3] = {r[1][2] - r[2][1], r[2][0] - r[0][2], r[0][1] - r[1][0]};
    const double wLength = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    const double c = (r[0][0] + r[1][1] + r[2][2] - 1.0) * 0.5;
    const double angle = std::atan2(wLength * 0.5, c);

    double axis[3];
    double rootAngle;
    if (c < 0.0) {
        // Beyond a quarter turn sin(angle), and with it w, shrinks toward the
        // half turn, so w's direction carries the rounding noise of R divided
        // by sin(angle); the symmetric part keeps the axis to full precision
        // and w only decides its sign.
        symmetric_axis(r, c, axis);
        double sinPart = (w[0] * axis[0] + w[1] * axis[1] + w[2] * axis[2]) * 0.5;
        if (std::numbers::pi - angle <= kIP_HalfTurnTolerance) {
            // Half turn: the axis keeps its largest component positive and the
            // signed angle about it is taken in (0, 2 pi), so the root turns
            // positively about it.
            double signedAngle = std::atan2(sinPart, c);
            if (signedAngle < 0.0)
                signedAngle += 2.0 * std::numbers::pi;
            rootAngle = signedAngle / k;
        } else {
            if (sinPart < 0.0) {
                for (double& component : axis)
                    component = -component;
                sinPart = -sinPart;
            }
            rootAngle = std::atan2(sinPart, c) / k;
        }
    } else if (wLength == 0.0) {
        // No turn at all: any axis gives the identity.
        axis[0] = 1.0;
        axis[1] = 0.0;
        axis[2] = 0.0;
        rootAngle = 0.0;
    } else {
        for (int i = 0; i < 3; ++i)
            axis[i] = w[i] / wLength;
        rootAngle = angle / k;
    }
    rotation3(rootAngle, axis, root);
}

}  // namespace

void IP_Midnt(float (*m)[4]) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m[i][j] = i == j ? 1.0f : 0.0f;
}

void IP_Mmul(const float (*a)[4], const float (*b)[4], float (*out)[4]) {
    Mat4d r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += double(a[i][k]) * double(b[k][j]);
            r[i][j] = sum;
        }
    store(r, out);
}

bool IP_Minv(const float (*m)[4], float (*out)[4]) {
    Mat4d src;
    load(m, src);
    Mat4d inv;
    bool usable = invert4(src, inv);
    // A matrix with tiny entries can pass the pivot test yet have an inverse
    // beyond the float range: stored, it would be infinite.
    for (int i = 0; usable && i < 4; ++i) {
        for (int j = 0; usable && j < 4; ++j) {
            usable = std::isfinite(static_cast<float>(inv[i][j]));
        }
    }
    if (!usable) {
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                out[i][j] = std::numeric_limits<float>::quiet_NaN();
        return false;
    }
    store(inv, out);
    return true;
}

bool IP_Mrotmat(float (*out)[4], float radians, char axis) {
    double u[3] = {0.0, 0.0, 0.0};
    switch (axis) {
        case 'x':
        case 'X':
            u[0] = 1.0;
            break;
        case 'y':
        case 'Y':
            u[1] = 1.0;
            break;
        case 'z':
        case 'Z':
            u[2] = 1.0;
            break;
        default:
            IP_Midnt(out);
            return false;
    }
    store_rotation(radians, u, out);
    return true;
}

bool IP_Mgenrot(float (*out)[4], float radians, const IP_3Coord& axis) {
    double u[3] = {axis.x, axis.y, axis.z};
    const double length = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    if (!std::isfinite(length) || length == 0.0) {
        IP_Midnt(out);
        return false;
    }
    for (double& component : u)
        component /= length;
    store_rotation(radians, u, out);
    return true;
}

bool IP_MgenNRoot(float (*out)[4], const float (*m)[4], int k) {
    Mat4d src;
    load(m, src);
    if (k < 1 || !is_rigid(src)) {
        IP_Midnt(out);
        return false;
    }
    Mat3d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = src[i][j];
    Mat3d root;
    rotation_root(r, k, root);

    // Translation of the root: s * (I + S + ... + S^(k-1)) = t. The geometric
    // sum is built by doubling, so a large k costs only its bit count.
    Mat3d sum = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    Mat3d power = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // S^(bits taken so far)
    Mat3d blockSum = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Mat3d blockPower;
    mul3(root, power, blockPower);
    for (unsigned rest = static_cast<unsigned>(k); rest != 0; rest >>= 1) {
        if ((rest & 1u) != 0) {
            Mat3d shifted;
            mul3(power, blockSum, shifted);
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    sum[i][j] += shifted[i][j];
            mul3(power, blockPower, power);
        }
        Mat3d shifted;
        mul3(blockPower, blockSum, shifted);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                blockSum[i][j] += shifted[i][j];
        mul3(blockPower, blockPower, blockPower);
    }
    double step[3] = {0.0, 0.0, 0.0};
    const double t[3] = {src[3][0], src[3][1], src[3][2]};
    if (t[0] != 0.0 || t[1] != 0.0 || t[2] != 0.0) {
        Mat3d sumInv;
        if (!invert3(sum, sumInv)) {
            IP_Midnt(out);
            return false;
        }
        for (int j = 0; j < 3; ++j)
            step[j] = t[0] * sumInv[0][j] + t[1] * sumInv[1][j] + t[2] * sumInv[2][j];
    }
    Mat4d result;
    embed(root, result);
    for (int j = 0; j < 3; ++j)
        result[3][j] = step[j];
    store(result, out);
    return true;
}

void IP_Mtranslate(float (*m)[4], float x, float y, float z) {
    // Row i of m * T(x, y, z) gains m[i][3] * (x, y, z).
    for (int i = 0; i < 4; ++i) {
        const double wi = m[i][3];
        m[i][0] = static_cast<float>(m[i][0] + wi * x);
        m[i][1] = static_cast<float>(m[i][1] + wi * y);
        m[i][2] = static_cast<float>(m[i][2] + wi * z);
    }
}

bool IP_myeqtrans(float* plane, const float (*m)[4]) {
    // With the plane as the column pi = (a, b, c, -d), p lies on it when
    // p * pi = 0; p' = p * m lies on m^-1 * pi.
    Mat4d src;
    load(m, src);
    Mat4d inv;
    if (!invert4(src, inv))
        return false;
    const double pi[4] = {plane[0], plane[1], plane[2], -double(plane[3])};
    double carried[4];
    for (int i = 0; i < 4; ++i)
        carried[i] = inv[i][0] * pi[0] + inv[i][1] * pi[1] + inv[i][2] * pi[2] + inv[i][3] * pi[3];
    plane[0] = static_cast<float>(carried[0]);
    plane[1] = static_cast<float>(carried[1]);
    plane[2] = static_cast<float>(carried[2]);
    plane[3] = static_cast<float>(-carried[3]);
    return true;
}

void IP_vec3mlt(const IP_3Coord& point, const float (*m)[4], IP_3Coord& result) {
    const double p[4] = {point.x, point.y, point.z, 1.0};
    double r[4];
    for (int j = 0; j < 4; ++j)
        r[j] = p[0] * m[0][j] + p[1] * m[1][j] + p[2] * m[2][j] + p[3] * m[3][j];
    if (r[3] == 0.0) {
        result = IP_3Coord(static_cast<float>(r[0]), static_cast<float>(r[1]),
                           static_cast<float>(r[2]), 0.0f);
        return;
    }
    if (r[3] != 1.0) {
        for (int j = 0; j < 3; ++j)
            r[j] /= r[3];
    }
    result = IP_3Coord(static_cast<float>(r[0]), static_cast<float>(r[1]), static_cast<float>(r[2]),
                       1.0f);
}
