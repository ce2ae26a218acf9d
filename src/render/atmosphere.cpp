// The air: a glowing shell of thickness a planet radii round the planet.
#include <algorithm>
#include <cmath>

#include "render/shading.h"

namespace tv {

namespace {

// How strongly air at height e along the light is lit: 1 on the day side,
// fading over the shadow edge to 1 - nightLift, then smoothed.
float airLight(const AtmosphereConstants& ac, float e) {
    float b;
    if (e >= 0.0f)
        b = 1.0f;
    else if (e < ac.shadowEdge)
        b = 1.0f - ac.nightLift;
    else
        b = 1.0f - ac.nightLift * e / ac.shadowEdge;
    return (3.0f - 2.0f * b) * b * b;
}

}  // namespace

float addAtmosphere(const AtmosphereConstants& ac, float dx, float dy, float R, Vec3 p, float zs, float cs,
                    Vec3 light, float colour[3]) {
    float X, Y, Z;
    if (ac.flat) {
        X = p.x;
        Y = p.y;
        Z = p.z;
    } else {
        const float k = 1.0f / (R * ac.A);
        X = dx * k;
        Y = dy * k;
        const float rad = 1.0f - X * X - Y * Y;
        if (rad < 0.0f) return 0.0f;
        Z = std::sqrt(rad);
    }

    const float beta = airLight(ac, X * light.x + Y * light.y + Z * light.z);
    const float f1 = 1.0f + (beta - 1.0f) * ac.sunsetAmount;
    const float beta2 = airLight(ac, X * light.x + Y * light.y - Z * light.z);
    const float f2 = 1.0f + (beta2 * ac.backFade - 1.0f) * ac.sunsetAmount;
    const float beta4 = (beta * beta) * (beta * beta);

    if (ac.flat) {
        const float front = std::sqrt(beta4 * ac.a);
        colour[0] += front * ac.air[0];
        colour[1] += front * f1 * ac.air[1];
        colour[2] += front * f1 * f1 * ac.air[2];
        return 0.0f;
    }

    // Path lengths through the shell in front of and behind the planet.
    const float zeta = Z * ac.A;
    const float pl = dot(p, light);
    const float ll = dot(light, light);
    const Vec3 q = light * (ll != 0.0f ? pl / ll : 0.0f);
    const float b = -2.0f * q.z;
    const float ex = p.x - q.x, ey = p.y - q.y;
    const float disc = b * b - 4.0f * (ex * ex + ey * ey + q.z * q.z - 1.0f);
    float zPlus = 0.0f, zMinus = 0.0f;
    if (disc >= 0.0f) {
        const float r = std::sqrt(disc);
        zPlus = (r - b) * 0.5f;
        zMinus = (-b - r) * 0.5f;
    }
    float z0 = zs;
    float back = zeta;
    if (p.x * light.x + p.y * light.y + zPlus * light.z < 0.0f) {
        if (0.0f < zPlus && zs < zPlus) z0 = zPlus;
        if (zMinus < 0.0f) {
            back = std::max(0.0f, zeta + zMinus);
            if (zeta != 0.0f) back = back * back / zeta;
        }
    }
    float frontPath = std::max(0.0f, zeta - z0);
    if (zeta - zs != 0.0f) frontPath = frontPath * frontPath / (zeta - zs);
    const float r = std::sqrt(X * X + Y * Y);
    const float fade1 = std::min(1.0f, 1.0f - (r - ac.shellInv) * ac.invThickness);
    const float fade = (fade1 * fade1) * (fade1 * fade1);

    const float beta2_4 = (beta2 * beta2) * (beta2 * beta2);
    float front = beta4 * fade * frontPath;
    float behind = std::fabs(beta2_4 * fade * back * (1.0f - cs) * ac.haloGain);
    const float total = front + behind;
    if (total != 0.0f) {
        const float s = std::sqrt(total) / total;
        front *= s;
        behind *= s;
    }
    const float weight = 1.3f + 1.6875f * (1.0f - cs);
    front *= weight;
    behind *= weight;

    float add[3] = {ac.air[0] * (front + behind), f1 * ac.air[1] * front + f2 * ac.air[1] * behind,
                    f1 * f1 * ac.air[2] * front + f2 * f2 * ac.air[2] * behind};
    if (!ac.opacity) {
        for (int i = 0; i < 3; ++i) colour[i] = std::trunc(colour[i] + add[i]);
        return 0.0f;
    }
    float alpha =
        std::clamp((0.3f * add[0] + 0.59f * add[1] + 0.11f * add[2]) * 0.03f * 0.2f / ac.depthScale, 0.0f, 1.0f);
    alpha = alpha + (1.0f - alpha) * cs;
    if (alpha != 0.0f)
        for (int i = 0; i < 3; ++i) add[i] /= alpha;
    for (int i = 0; i < 3; ++i) colour[i] = std::trunc(colour[i] + add[i]);
    return alpha;
}

}  // namespace tv
