#!/usr/bin/env python3
"""Mutation check: applies one-line changes to the sources one at a time,
builds, runs the test suite and reports which changes the suite catches.

    tools/mutate.py [--build build] [--jobs 2] [--group rules|suites|all]
                    [--only TEXT] [--list] [--report FILE]

Run it in a checkout you are not editing (it changes files in place and puts
them back after each change). The build folder must be configured already
(make build). A change is "caught" when the build succeeds and at least one
test fails; a change that does not build is reported apart (fix the list).

Group "rules" holds visible rules of the renderer and the synthesis (src/render,
src/synth); group "suites" holds faults elsewhere that the subsystem suites
are meant to catch.
"""

import argparse
import os
import re
import subprocess
import sys
import time

# (group, name, file, original text (must occur exactly once), replacement)
MUTATIONS = [
    # ---- visible rules of the renderer and the synthesis ----------------------
    ("rules", "desert latitude sign", "src/render/shading.cpp",
     "4.0f * ((f * r.n - latSq) + tc.desertBias)", "4.0f * ((f * r.n + latSq) + tc.desertBias)"),
    ("rules", "land-ice threshold sign", "src/render/shading.cpp",
     "8.0f * (latSq - 0.7f) - tc.iceThreshold", "8.0f * (latSq - 0.7f) + tc.iceThreshold"),
    ("rules", "hue drift sign", "src/render/shading.cpp",
     "const float w = cell.baseNoise * (1.0f - cell.detail);",
     "const float w = -cell.baseNoise * (1.0f - cell.detail);"),
    ("rules", "land contrast clamp", "src/render/shading.cpp",
     "20.0f * cell.craterSum), 0.5f, 1.3f);", "20.0f * cell.craterSum), 0.5f, 1.0f);"),
    ("rules", "glint width", "src/render/shading.cpp",
     "(1.0f - dot(p, tc.halfVector)) * 120.0f", "(1.0f - dot(p, tc.halfVector)) * 60.0f"),
    ("rules", "side of the cloud shadow", "src/render/globe.cpp",
     "shadows.add(shadowPoint(px.pr.p, px.light, planet)",
     "shadows.add(shadowPoint(px.pr.p, Vec3{-px.light.x, -px.light.y, px.light.z}, planet)"),
    ("rules", "side the slope light comes from", "src/render/globe.cpp",
     "return normalize(p + 0.001f * normalize(p - 1000.0f * light));",
     "return normalize(p + 0.001f * normalize(p + 1000.0f * light));"),
    ("rules", "atmosphere front path", "src/render/atmosphere.cpp",
     "float frontPath = std::max(0.0f, zeta - z0);", "float frontPath = std::max(0.0f, zeta - 0.5f * z0);"),
    ("rules", "terminator reddening", "src/render/globe.cpp",
     "mult[2] = f * f;", "mult[2] = f;"),
    ("rules", "sea depth direction", "src/render/shading.cpp",
     "std::clamp((tc.seaLevel - cell.baseNoise) * 400.0f", "std::clamp((cell.baseNoise - tc.seaLevel) * 400.0f"),
    ("rules", "storm swirl direction", "src/synth/cloud_field.cpp",
     "w * planet.stormSpin[j]);", "-w * planet.stormSpin[j]);"),
    ("rules", "lunar-climate relief sign", "src/render/shading.cpp",
     "const float k = 1.3f * cell.terrain + 0.5f;", "const float k = -1.3f * cell.terrain + 0.5f;"),
    ("rules", "city lights near the equator", "src/render/shading.cpp",
     "const float eq = 1.0f - std::fabs(cell.sinLat);", "const float eq = std::fabs(cell.sinLat);"),
    ("rules", "night-side fade curve", "src/render/globe.cpp",
     "const float k = tau * tau * (3.0f - 2.0f * tau);", "const float k = tau * (3.0f - 2.0f * tau);"),
    ("rules", "cloud relief gain", "src/render/globe.cpp",
     "tc.cloudBumpGain = 0.15f * float(p.cloudTexture);", "tc.cloudBumpGain = 0.3f * float(p.cloudTexture);"),
    ("rules", "hypsometric sea hue", "src/render/shading.cpp",
     "hue = 0.666666f;", "hue = 0.6f;"),
    ("rules", "sea ice colour", "src/render/globe.cpp",
     "tc.seaIce[0] = 0.9f * tc.ice[0];", "tc.seaIce[0] = 0.8f * tc.ice[0];"),
    ("rules", "map latitude direction", "src/render/globe.cpp",
     "s = std::sin((w - 0.5) * -3.14159265358979323846);", "s = std::sin((w - 0.5) * 3.14159265358979323846);"),
    ("rules", "crater mirroring", "src/synth/terrain.cpp",
     "const float su = (m & 1) ? -0.5f : 0.5f;", "const float su = 0.5f;"),
    ("rules", "Coriolis shear by latitude", "src/synth/cloud_field.cpp",
     "return axisRotation(planet.axis, (1.0f - sinLat * sinLat) * view.coriolisScale);",
     "return axisRotation(planet.axis, sinLat * sinLat * view.coriolisScale);"),
    ("rules", "polar cloud thickening", "src/synth/cloud_field.cpp",
     "d += 1.5f * (s - 0.7f);", "d -= 1.5f * (s - 0.7f);"),
    ("rules", "back-light halo", "src/render/globe.cpp",
     "std::clamp(-10.0f * lz - 9.0f, 0.0f, 1.0f);", "std::clamp(-10.0f * lz - 8.0f, 0.0f, 1.0f);"),
    ("rules", "air colour channels on maps", "src/render/atmosphere.cpp",
     "colour[0] += front * ac.air[0];", "colour[0] += front * ac.air[1];"),
    ("rules", "composite adds the source beside the planet", "src/render/writeout.cpp",
     "source[i] * (1.0f - extra[1])", "source[i] * extra[1]"),
    ("rules", "satellite map east-west", "src/synth/cloud_field.cpp",
     "planet.cloudMapScaleU * (0.5f - 0.5f * p.x)", "planet.cloudMapScaleU * (0.5f + 0.5f * p.x)"),
    ("rules", "satellite map north-south", "src/synth/cloud_field.cpp",
     "planet.cloudMapScaleV * (0.5f - 0.5f * p.y)", "planet.cloudMapScaleV * (0.5f + 0.5f * p.y)"),
    ("rules", "land bump scale at 8 bits", "src/render/globe.cpp",
     "tc.eightBit ? h * W + tc.half : h * tc.half + tc.half", "tc.eightBit ? h * tc.half + tc.half : h * tc.half + tc.half"),
    ("rules", "desert bias", "src/render/globe.cpp",
     "(0.01f * float(p.desert) - 0.03f) / 0.7f", "(0.01f * float(p.desert) - 0.3f) / 0.7f"),
    ("rules", "lunar relief east-west", "src/synth/terrain.cpp",
     "0.5f + 0.5f * p.x, 0.5f + 0.5f * p.y)", "0.5f - 0.5f * p.x, 0.5f + 0.5f * p.y)"),
    ("rules", "overexposure washes to white", "src/render/globe.cpp",
     "const float omega = std::min(2.0f * e, 1.0f);", "const float omega = std::min(e, 1.0f);"),
    ("rules", "cloud shadow strength", "src/synth/storms.cpp",
     "planet.shadowStrength = 0.01f * static_cast<float>(params.cloudShadows);",
     "planet.shadowStrength = 0.005f * static_cast<float>(params.cloudShadows);"),
    ("rules", "storm hemisphere spin", "src/synth/storms.cpp",
     "planet.stormSpin[n] = c.y < 0.0f ? -spin : spin;", "planet.stormSpin[n] = spin;"),

    # ---- faults the subsystem suites are meant to catch ----------------------
    ("suites", "settings reader accepts a newer version", "src/persist/settings_file.cpp",
     "if (v < 1 || v > kSettingsVersion) {", "if (v < 1 || v > kSettingsVersion + 1) {"),
    ("suites", "settings light written as thousandths", "src/params/settings_writer.cpp",
     "return truncatedToWord(double(floatField(r, k)) * 100.0);",
     "return truncatedToWord(double(floatField(r, k)) * 1000.0);"),
    ("suites", "dot map marks inverted", "src/persist/memory_dots.cpp",
     "state.dotMarks[i] = marks[i] != 0 ? 1 : 0;", "state.dotMarks[i] = marks[i] != 0 ? 0 : 1;"),
    ("suites", "undo slot does not alternate", "src/persist/undo.cpp",
     "const int32_t i = 1 - (state.undoIndex & 1);", "const int32_t i = (state.undoIndex & 1);"),
    ("suites", "dice seed range", "src/persist/dice.cpp",
     "r.randomSeed = rng.next() & 0x7FF;", "r.randomSeed = rng.next() & 0xFFF;"),
    ("suites", "URL list text limit", "src/clouds/catalogue.cpp",
     "if (!r.i32(length) || length < 0 || length > kMaxText) return false;",
     "if (!r.i32(length) || length < 0 || length > kMaxText + 1) return false;"),
    ("suites", "reference date lag", "src/clouds/catalogue.cpp",
     "constexpr int64_t kReferenceLag = 172800;", "constexpr int64_t kReferenceLag = 86400;"),
    ("suites", "HTTP error body accepted", "src/platform/posix/http_curl.cpp",
     "if (status < 200 || status > 299) return n;", "if (status < 200 || status > 599) return n;"),
    ("suites", "GIF code beyond the table", "src/clouds/gif_decoder.cpp",
     "if (code > nextCode || (code == nextCode && nextCode >= kTableSize)) return GifStatus::BadCode;",
     "if (code > nextCode + 1 || (code == nextCode && nextCode >= kTableSize)) return GifStatus::BadCode;"),
    ("suites", "cloud cache of another index", "src/clouds/cloud_cache.cpp",
     "if (expectedIndex >= 0 && index != expectedIndex) return kCacheReadError;", ""),
    ("suites", "cloud levels multiply by the range", "src/clouds/cloud_convert.cpp",
     "float c = (float(g) * kByteToUnit - blackLevel) / range;",
     "float c = (float(g) * kByteToUnit - blackLevel) * range;"),
    ("suites", "disc edge needs four dark pixels", "src/clouds/cloud_convert.cpp",
     "        return count >= kDiscMinimumCount;\n    };\n    auto rowQualifies",
     "        return count >= kDiscMinimumCount - 1;\n    };\n    auto rowQualifies"),
    ("suites", "PSD 16-bit samples not doubled", "src/export/psd_writer.cpp",
     "const uint32_t file = v >= 32768 ? 65535u : v * 2u;", "const uint32_t file = v >= 32768 ? 65535u : v;"),
    ("suites", "HTML ampersand unescaped", "src/export/html_page.cpp",
     "out += \"&amp;\";", "out += \"&\";"),
    ("suites", "picture file names keep dots", "src/export/html_page.cpp",
     "if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {",
     "if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '.') {"),
    ("suites", "host 16-bit full scale", "src/host/transfer.cpp",
     "float fullScale(int32_t depthBits) { return depthBits == 8 ? 255.0f : (depthBits == 16 ? 32768.0f : 1.0f); }",
     "float fullScale(int32_t depthBits) { return depthBits == 8 ? 255.0f : (depthBits == 16 ? 65535.0f : 1.0f); }"),
    ("suites", "memory limit counts one plane", "src/host/plugin.cpp",
     "const int64_t limit = 2 * planes * h * w;", "const int64_t limit = 2 * h * w;"),
    ("suites", "glue enumerator ignored", "src/host/scripting.cpp",
     "setScriptInteger(params, *k, outputModeFromEnumerator(e));", "setScriptInteger(params, *k, 1);"),
    ("suites", "tiles one pixel short", "src/synth/jobs.cpp",
     "tile.bottom = std::min(tile.top + kTileSize, plan.height);",
     "tile.bottom = std::min(tile.top + kTileSize - 1, plan.height);"),
    ("suites", "progress more than once a second", "src/synth/jobs.cpp",
     "if (now - run.lastProgressTime >= 1.0) {", "if (now - run.lastProgressTime >= 0.0) {"),
    ("suites", "pyramid reduction divisor", "src/synth/pyramid.cpp",
     "constexpr int32_t kReduceDivisor = 16 * 1640;", "constexpr int32_t kReduceDivisor = 16 * 1600;"),
    ("suites", "working folder not private", "src/platform/posix/files_posix.cpp",
     "makeFolders(folder.substr(0, folder.size() - 1), 0700);",
     "makeFolders(folder.substr(0, folder.size() - 1), 0755);"),
    ("suites", "default planet size", "src/params/params.cpp",
     "r.planetSize = 65;", "r.planetSize = 66;"),
    ("suites", "JSON quote unescaped", "apps/terravane/json_writer.cpp",
     "if (c == '\"' || c == '\\\\') {", "if (c == '\\\\') {"),
    ("suites", "PNG 16-bit byte order", "apps/terravane/image_io.cpp",
     "row[i] = uint8_t(v >> 8);", "row[i] = uint8_t(v);"),
    ("suites", "grey host images store green", "src/render/writeout.cpp",
     "c[0] = c[1] = c[2] = 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2];",
     "c[0] = c[1] = c[2] = 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[1];"),
    ("suites", "export rounding at 8 bits", "src/render/writeout.cpp",
     "at[c] = uint8_t(std::min(255.0f, std::max(0.0f, roundToEven(rgba[c] * 255.0f))));",
     "at[c] = uint8_t(std::min(255.0f, std::max(0.0f, rgba[c] * 255.0f)));"),
    ("suites", "noise lattice repeat", "src/synth/noise.cpp",
     "planet.latticePerm[kLatticeSize + i] = planet.latticePerm[i];",
     "planet.latticePerm[kLatticeSize + i] = planet.latticePerm[(i + 1) & (kLatticeSize - 1)];"),
    ("suites", "crater footprint edge inside", "src/synth/terrain.cpp",
     "const Mask hit = (-r < d) & (d < r) & (-r < e) & (e < r);",
     "const Mask hit = (-r <= d) & (d <= r) & (-r <= e) & (e <= r);"),
]


def run(command, cwd, log=None):
    p = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if log is not None:
        log.write(p.stdout)
    return p.returncode, p.stdout


def failed_tests(output):
    names = []
    seen = False
    for line in output.splitlines():
        if "The following tests FAILED" in line:
            seen = True
            continue
        if seen:
            m = re.match(r"\s*\d+ - (\S+)", line)
            if m:
                names.append(m.group(1))
    return names


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default="build")
    ap.add_argument("--jobs", default="2")
    ap.add_argument("--group", default="all", choices=["rules", "suites", "all"])
    ap.add_argument("--only", default="", help="run the changes whose name contains this text")
    ap.add_argument("--list", action="store_true", help="list the changes and whether they apply")
    ap.add_argument("--report", default="", help="also write the table to this file")
    args = ap.parse_args()
    build = os.path.join(here, args.build)

    chosen = [m for m in MUTATIONS if (args.group == "all" or m[0] == args.group) and args.only in m[1]]
    rows = []
    log = open(os.path.join(build, "mutate.log"), "w") if not args.list else None
    for group, name, path, old, new in chosen:
        full = os.path.join(here, path)
        with open(full) as f:
            text = f.read()
        count = text.count(old)
        if args.list:
            print(f"{'ok ' if count == 1 else 'BAD'} {group:6} {name} ({path}, {count} matches)")
            continue
        if count != 1:
            rows.append((group, name, path, "not applied", f"{count} matches"))
            print(f"{name}: not applied ({count} matches)", flush=True)
            continue
        started = time.time()
        try:
            with open(full, "w") as f:
                f.write(text.replace(old, new))
            log.write(f"\n===== {name}\n")
            rc, _ = run(["cmake", "--build", build, "-j", args.jobs], here, log)
            if rc != 0:
                result, detail = "does not build", ""
            else:
                rc, out = run(["ctest", "--test-dir", build, "-j", args.jobs, "--timeout", "300"], here, log)
                failing = failed_tests(out)
                if rc != 0:
                    result = "caught"
                    detail = ", ".join(failing[:3]) + (f" and {len(failing) - 3} more" if len(failing) > 3 else "")
                else:
                    result, detail = "NOT CAUGHT", ""
        finally:
            with open(full, "w") as f:
                f.write(text)
        rows.append((group, name, path, result, detail))
        print(f"{name}: {result} ({time.time() - started:.0f} s) {detail}", flush=True)
    if args.list:
        return 0
    run(["cmake", "--build", build, "-j", args.jobs], here, log)

    lines = ["| group | change | file | result | failing tests |", "|---|---|---|---|---|"]
    for group, name, path, result, detail in rows:
        lines.append(f"| {group} | {name} | {path} | {result} | {detail} |")
    caught = sum(1 for r in rows if r[3] == "caught")
    applied = sum(1 for r in rows if r[3] in ("caught", "NOT CAUGHT"))
    lines.append("")
    lines.append(f"{caught} of {applied} changes caught")
    table = "\n".join(lines)
    print(table)
    if args.report:
        with open(args.report, "w") as f:
            f.write(table + "\n")
    return 0 if caught == applied else 1


if __name__ == "__main__":
    sys.exit(main())
