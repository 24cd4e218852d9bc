"""Times rescale jobs as whole processes, each writing a new file, and
prints one Markdown table: the command's stream, the same job through a
whole picture in memory, the I/O floor (reading the input and writing the
output's bytes through a 1 MiB buffer), and the fastest mainstream tool
installed (OpenCV, Pillow; timed in-process with one thread), each with its
whole-process peak memory. Ratios are against the floor and the peer
measured in the same run.

    scale_bench.py --quendral PATH --run PATH --out DIR [--runs N] CASE...

CASE is NAME=INPUT:MODE:VALUE."""
import argparse
import os
import statistics
import struct
import subprocess
import sys
import time

PEER_PYTHON = "/usr/bin/python3"
PEER_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "scale_peer.py")


def run(argv, out):
    """Wall seconds, peak RSS in MB and standard output of one process. The
    process is started by GNU time, whose own few hundred kilobytes are what
    it inherits: a child forked from this Python process would count the
    interpreter's memory as its own peak."""
    if os.path.exists(out):
        os.unlink(out)
    rss_file = out + ".rss"
    start = time.perf_counter()
    process = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + argv,
                             capture_output=True)
    seconds = time.perf_counter() - start
    if process.returncode != 0:
        raise RuntimeError(f"{argv[0]} failed ({process.returncode}): {process.stderr.decode().strip()}")
    with open(rss_file) as f:
        peak_kb = int(f.read().split()[-1])
    os.unlink(rss_file)
    return seconds, peak_kb / 1024.0, process.stdout.decode()


def median_of(runs, argv, out, inner=False):
    times, peaks = [], []
    for _ in range(runs):
        seconds, peak, stdout = run(argv, out)
        times.append(float(stdout) if inner else seconds)
        peaks.append(peak)
    return statistics.median(times), max(peaks)


def peers():
    found = []
    for tool, module in (("opencv", "cv2"), ("pillow", "PIL")):
        if subprocess.run([PEER_PYTHON, "-c", f"import {module}"], capture_output=True).returncode == 0:
            found.append(tool)
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quendral", required=True)
    parser.add_argument("--run", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("cases", nargs="+")
    args = parser.parse_args()
    tools = peers()
    out = lambda kind: os.path.join(args.out, f"out-{kind}.bmp")
    print(f"median of {args.runs} runs; load average {os.getloadavg()[0]:.2f}; peers: "
          f"{', '.join(tools) or 'none installed'}\n")
    print("| case | stream | peak RSS | in memory | peak RSS | I/O floor | stream / floor |"
          " peer | peer RSS | stream / peer |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for case in args.cases:
        name, job = case.split("=", 1)
        source, mode, value = job.rsplit(":", 2)
        stream = median_of(args.runs, [args.quendral, "scale", source, out("stream"), mode, value],
                           out("stream"))
        with open(out("stream"), "rb") as f:
            head = f.read(26)
        width, height = struct.unpack("<ii", head[18:26])
        size = os.path.getsize(out("stream"))
        memory = median_of(args.runs, [args.run, "memory", source, out("memory"), mode, value],
                           out("memory"))
        floor = median_of(args.runs, [args.run, "floor", source, out("floor"), str(size)], out("floor"))
        best = None
        for tool in tools:
            try:
                result = median_of(args.runs, [PEER_PYTHON, PEER_SCRIPT, tool, source, out(tool),
                                               str(width), str(height)], out(tool), inner=True)
            except RuntimeError as error:
                print(f"({tool} on {name}: {error})", file=sys.stderr)
                continue
            if best is None or result[0] < best[1][0]:
                best = (tool, result)
        ms = lambda s: f"{s * 1000:.1f} ms"
        mb = lambda m: f"{m:.1f} MB"
        peer = (f"{best[0]} {ms(best[1][0])} | {mb(best[1][1])} | {stream[0] / best[1][0]:.2f}x"
                if best else "- | - | -")
        print(f"| {name} ({width}x{height}) | {ms(stream[0])} | {mb(stream[1])} | {ms(memory[0])} | "
              f"{mb(memory[1])} | {ms(floor[0])} | {stream[0] / floor[0]:.2f}x | {peer} |", flush=True)
    for kind in ["stream", "memory", "floor"] + tools:
        if os.path.exists(out(kind)):
            os.unlink(out(kind))
    return 0


if __name__ == "__main__":
    sys.exit(main())
