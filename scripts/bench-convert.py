#!/usr/bin/env python3
"""The convert benchmark: a photo-like 24-bit picture to 8, 4, 1 and 16 bits,
and an 8-bit one to 24, each by the streamed job, the same job through a
whole picture in memory, the I/O floor (read the input, write the output's
number of bytes through a small buffer) and Pillow where it can write the
result (8 and 1 bits from 24 through quantize with the standard table and
no dithering; 8 to 24 through convert). Prints median milliseconds, their
ratios, and each kind's whole-process peak resident memory (wait4).

Every run is a fresh process writing a new file (the previous output is
removed first, outside the timing); the kinds take turns within a round, so
that other work on the machine falls on all of them alike. The job's and
Pillow's times are measured inside their process (from opening the input
to the output in place), so neither pays for starting up.

    scripts/bench-convert.py [--runs N] [--size WxH] [--build DIR] [--dir DIR]
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

PILLOW_JOB = r"""
import sys, time
from PIL import Image
src, dst, depth = sys.argv[1], sys.argv[2], int(sys.argv[3])
def standard_table(bits):
    if bits == 1:
        return [(0, 0, 0), (255, 255, 255)]
    table = [(32 * (n % 8), 32 * ((n // 8) % 8), 64 * (n // 64)) for n in range(256)]
    table[0:10] = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128),
                   (128, 0, 128), (0, 128, 128), (192, 192, 192), (192, 220, 192),
                   (166, 202, 240)]
    table[246:256] = [(255, 251, 240), (160, 160, 164), (128, 128, 128), (255, 0, 0),
                      (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255),
                      (255, 255, 255)]
    return table
start = time.perf_counter()
image = Image.open(src)
if depth == 24:
    image.convert("RGB").save(dst, "BMP")
else:
    palette = Image.new("P", (1, 1))
    flat = [v for entry in standard_table(depth) for v in entry]
    palette.putpalette(flat + flat[-3:] * (256 - len(flat) // 3))
    result = image.quantize(palette=palette, dither=Image.Dither.NONE)
    if depth == 1:
        result = result.convert("1", dither=Image.Dither.NONE)
    result.save(dst, "BMP")
print("%.3f" % ((time.perf_counter() - start) * 1000))
"""

CASES = [(24, 8), (24, 4), (24, 1), (24, 16), (8, 24)]
PILLOW_CAN = {(24, 8), (24, 1), (8, 24)}


def run(bench, command, out):
    """One fresh process, started by the small benchmark program: its
    printed milliseconds and its peak resident memory in MB."""
    if os.path.exists(out):
        os.remove(out)
    done = subprocess.run([bench, "measure"] + command, stdout=subprocess.PIPE)
    if done.returncode != 0:
        sys.exit("bench-convert: failed: " + " ".join(command))
    ms, kib = done.stdout.decode().split()
    return float(ms), int(kib) / 1024.0


def pillow_python():
    """A Python that has Pillow (Debian's python3-pil), or None."""
    for python in (sys.executable, "/usr/bin/python3"):
        if subprocess.run([python, "-c", "import PIL"], stderr=subprocess.DEVNULL).returncode == 0:
            return python
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size", default="6000x4000")
    parser.add_argument("--build", default="build-bench")
    parser.add_argument("--dir", default="")
    args = parser.parse_args()
    os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    width, height = args.size.split("x")
    directory = args.dir or os.path.join(os.environ.get("TMPDIR", "/tmp"),
                                         "quendral-bench-" + args.size)
    subprocess.run(["cmake", "-S", ".", "-B", args.build, "-DCMAKE_BUILD_TYPE=Release",
                    "-DQUENDRAL_BUILD_BENCHMARKS=ON", "-DQUENDRAL_BUILD_TESTS=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", args.build, "-j2", "--target", "quendral_make_pictures",
                    "quendral_convert_bench"], check=True, stdout=subprocess.DEVNULL)
    bench = os.path.join(args.build, "bench", "quendral_convert_bench")
    os.makedirs(directory, exist_ok=True)
    if not all(os.path.exists(os.path.join(directory, f"photo-{d}.bmp")) for d in (8, 24)):
        subprocess.run([os.path.join(args.build, "bench", "quendral_make_pictures"), "photos",
                        directory, width, height], check=True, stdout=subprocess.DEVNULL)
    pillow = pillow_python()

    load = os.getloadavg()[0]
    rows = []
    for source, depth in CASES:
        src = os.path.join(directory, f"photo-{source}.bmp")
        out = os.path.join(directory, f"convert-{source}-to-{depth}.bmp")
        run(bench, [bench, "stream", src, out, str(depth)], out)  # warm the cache, learn the size
        out_bytes = os.path.getsize(out)
        kinds = {
            "stream": [bench, "stream", src, out, str(depth)],
            "memory": [bench, "memory", src, out, str(depth)],
            "floor": [bench, "floor", src, out, str(out_bytes)],
        }
        if pillow and (source, depth) in PILLOW_CAN:
            kinds["pillow"] = [pillow, "-c", PILLOW_JOB, src, out, str(depth)]
        times = {kind: [] for kind in kinds}
        memory = {kind: 0.0 for kind in kinds}
        for _ in range(args.runs):
            for kind, command in kinds.items():
                ms, mb = run(bench, command, out)
                times[kind].append(ms)
                memory[kind] = max(memory[kind], mb)
        median = {kind: statistics.median(values) for kind, values in times.items()}
        rows.append((source, depth, os.path.getsize(src), out_bytes, median, memory))
        os.remove(out)

    print(f"{args.size}, median of {args.runs} runs of each kind, each writing a new file; "
          f"load average {load:.1f} before, {os.getloadavg()[0]:.1f} after")
    print()
    print("| job | in MB | out MB | stream ms | memory ms | floor ms | stream/floor | "
          "Pillow ms | stream/Pillow | stream MB | memory MB | floor MB | Pillow MB |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for source, depth, in_bytes, out_bytes, median, memory in rows:
        has_pillow = "pillow" in median
        print(f"| {source} to {depth} | {in_bytes / 1e6:.1f} | {out_bytes / 1e6:.1f} "
              f"| {median['stream']:.1f} | {median['memory']:.1f} | {median['floor']:.1f} "
              f"| {median['stream'] / median['floor']:.2f} "
              f"| {median['pillow']:.1f} | {median['stream'] / median['pillow']:.3f} "
              if has_pillow else
              f"| {source} to {depth} | {in_bytes / 1e6:.1f} | {out_bytes / 1e6:.1f} "
              f"| {median['stream']:.1f} | {median['memory']:.1f} | {median['floor']:.1f} "
              f"| {median['stream'] / median['floor']:.2f} | — | — ", end="")
        print(f"| {memory['stream']:.1f} | {memory['memory']:.1f} | {memory['floor']:.1f} "
              f"| {memory['pillow']:.1f} |" if has_pillow else
              f"| {memory['stream']:.1f} | {memory['memory']:.1f} | {memory['floor']:.1f} | — |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
