#!/usr/bin/env python3
"""The whole program's cost per megabyte and fixed cost, beside the nearest outside yardstick.

Three programs write squares of 25, 50, 100 and 200 mm at 600 ppi RGB 8-bit (the same pixels) to
new files in one folder: brelvane.exe's batch scan from the virtual KOVAL II into a BMP file, the
bare program writing the same chart into a BMP file, and scanimage of Debian's sane-utils (a
native program) from its test backend into a PNM file. Each round runs the three back to back at
every size; each program's times of the round are fitted by least squares to a fixed cost plus a
cost per megabyte (10^6 bytes of pixels). Every figure is the median over the rounds; a ratio is
the median of the rounds' own ratios.

scripts/bench.sh runs it as `program_fit.py TREE` (TREE: build/<arch>) with wine's environment of
that tree and a display. Exit status: 0 no judged target missed, 1 a judged target missed, 2 a run
failed.
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SIZES_MM = (25, 50, 100, 200)
PPI = 600
ROUNDS = 5
# The ASPI transport rests this long after each selection of the host adapter; a batch scan selects
# it twice, for the device search and for opening the scanner.
ADAPTER_PAUSE_S = 0.050
ADAPTER_SELECTIONS = 2
OWN_SHARE_TARGET_S = 0.150
PER_MB_TARGET_RATIO = 1.5
GIVE_UP_S = 120
MEGABYTE = 1e6
EXIT_MISSED = 1
EXIT_FAILED = 2


def pixels(mm):
    """The side in pixels, rounded down as the scan job and the test backend both do."""
    return mm * 100 * PPI // 2540


def megabytes(mm):
    return pixels(mm) ** 2 * 3 / MEGABYTE


def bmp_side(path):
    """Width and height of a whole 24-bit BMP file; None when it is not whole."""
    with open(path, "rb") as f:
        header = f.read(54)
    if len(header) < 54 or header[:2] != b"BM":
        return None
    offset, width, height = (int.from_bytes(header[at:at + 4], "little") for at in (10, 18, 22))
    stride = (width * 3 + 3) // 4 * 4
    return (width, height) if os.path.getsize(path) == offset + stride * height else None


def pnm_side(path):
    """Width and height of a whole 8-bit P6 file; None when it is not whole."""
    with open(path, "rb") as f:
        head = f.read(256)
    fields, at = [], 0
    while len(fields) < 4 and at < len(head):
        if head[at:at + 1] == b"#":
            at = head.index(b"\n", at) + 1
        elif head[at:at + 1].isspace():
            at += 1
        else:
            end = at
            while end < len(head) and not head[end:end + 1].isspace():
                end += 1
            fields.append(head[at:end])
            at = end
    if fields[:1] != [b"P6"] or len(fields) < 4 or fields[3] != b"255":
        return None
    width, height = int(fields[1]), int(fields[2])
    # One whitespace byte ends the header.
    return (width, height) if os.path.getsize(path) == at + 1 + width * height * 3 else None


class Program:
    def __init__(self, name, command, output, side):
        self.name = name
        self.command = command  # mm -> argv
        self.output = output  # mm -> file name in the folder
        self.side = side  # path -> (width, height) or None


# Each round's figures: by program, in the order programs() gives them, then fixed cost and cost per MB.
OURS, SANE, BARE = range(3)
FIXED, PER_MB = range(2)


def programs(tree):
    wine = os.environ["WINELOADER"]
    brelvane = os.path.join(tree, "bin", "brelvane.exe")
    bare = os.path.join(tree, "bench", "bare_baseline.exe")
    return [
        Program("brelvane.exe",
                lambda mm: [wine, brelvane, f"rgb resppi:{PPI} selmm:0,0,{mm},{mm} scan:ours{mm}.bmp"],
                lambda mm: f"ours{mm}.bmp", bmp_side),
        Program("scanimage",
                lambda mm: ["scanimage", "-d", "test", "--mode", "Color", "--depth", "8", "--resolution",
                            str(PPI), "-x", str(mm), "-y", str(mm), "--test-picture", "Color pattern",
                            "--format=pnm", "-o", f"sane{mm}.pnm"],
                lambda mm: f"sane{mm}.pnm", pnm_side),
        Program("bare_baseline.exe",
                lambda mm: [wine, bare, "--chart", f"bare{mm}.bmp", str(mm), str(PPI)],
                lambda mm: f"bare{mm}.bmp", bmp_side),
    ]


class RunFailed(Exception):
    pass


def timed_run(program, mm, folder):
    """Wall time of one run from its start to its end; its file checked."""
    output = os.path.join(folder, program.output(mm))
    if os.path.exists(output):
        os.remove(output)
    with open(os.path.join(folder, "output.txt"), "w") as log:
        start = time.perf_counter()
        try:
            code = subprocess.run(program.command(mm), cwd=folder, stdin=subprocess.DEVNULL, stdout=log,
                                  stderr=subprocess.STDOUT, timeout=GIVE_UP_S).returncode
        except subprocess.TimeoutExpired:
            raise RunFailed(f"{program.name} did not end within {GIVE_UP_S} s")
        seconds = time.perf_counter() - start
    side = program.side(output) if code == 0 and os.path.exists(output) else None
    if side != (pixels(mm), pixels(mm)):
        with open(os.path.join(folder, "output.txt")) as log:
            said = log.read().strip()
        raise RunFailed(f"{program.name} at {mm} mm ended with {code} and left {side}, not a whole "
                        f"{pixels(mm)} x {pixels(mm)} px image{': ' + said if said else ''}")
    return seconds


def machine_load():
    return os.getloadavg()[0]


def run_rounds(all_programs, folder):
    """times[round][program][size]"""
    # Not counted: the first start brings up the wine server and the prefix's services, and reads
    # the programs from the disk.
    for program in all_programs:
        timed_run(program, SIZES_MM[0], folder)
    rounds = []
    for _ in range(ROUNDS):
        times = [[] for _ in all_programs]
        for mm in SIZES_MM:
            for index, program in enumerate(all_programs):
                times[index].append(timed_run(program, mm, folder))
        rounds.append(times)
    return rounds


def fit(times):
    """(fixed seconds, seconds per MB) of one program's times of one round."""
    slope, intercept = statistics.linear_regression([megabytes(mm) for mm in SIZES_MM], times)
    return intercept, slope


def ms(seconds):
    """A fixed cost, which cannot be below zero: a fit below zero is within the noise."""
    return f"{seconds * 1000:.0f} ms" if seconds > 0 else "about 0 ms (within the noise)"


def per_mb(seconds):
    """A cost per MB, which cannot be below zero either."""
    if seconds <= 0:
        return "about 0 ms/MB (within the noise)"
    return f"{seconds * 1000:.2f} ms/MB ({1 / seconds:.0f} MB/s)"


def ratio_of(fits, figure, subject, yardstick):
    """The median of the rounds' ratios; None when the yardstick's figure is within the noise."""
    if any(f[yardstick][figure] <= 0 for f in fits):
        return None
    return statistics.median(f[subject][figure] / f[yardstick][figure] for f in fits)


def print_figure(what, yardstick, ratio, target, met, load, cores):
    """One line as the bench prints every figure; the exit status it stands for."""
    busy = load > cores
    line = f"  {what}; yardstick {yardstick}"
    if ratio is not None:
        line += f"; ratio {ratio:.2f}"
    if target is None:
        line += "; no target"
    else:
        line += f"; target {target}: " + ("met" if met else "not judged (busy)" if busy else "missed")
    print(f"{line}; load {load:.2f} on {cores} cores")
    return 0 if target is None or met or busy else EXIT_MISSED


def print_walls(all_programs, rounds):
    print("  median wall time    " + "".join(f"{mm:>6} mm" for mm in SIZES_MM))
    for p, program in enumerate(all_programs):
        walls = [statistics.median(times[p][s] for times in rounds) for s in range(len(SIZES_MM))]
        print(f"    {program.name:<18}" + "".join(f"{wall:>7.3f} s" for wall in walls))


def report(all_programs, rounds, load, cores):
    """Prints the fits and judges the figures; the exit status."""
    fits = [[fit(times[p]) for p in range(len(all_programs))] for times in rounds]

    def median(p, figure):
        return statistics.median(f[p][figure] for f in fits)

    print_walls(all_programs, rounds)
    fitted = "; ".join(f"{program.name} {ms(median(p, FIXED))} + {per_mb(median(p, PER_MB))}"
                       for p, program in enumerate(all_programs))
    print(f"  fits, fixed cost + cost per MB (each the median of the rounds' own): {fitted}")
    ratio = ratio_of(fits, PER_MB, OURS, SANE)
    code = print_figure(f"brelvane's cost per MB {per_mb(median(OURS, PER_MB))}",
                        f"scanimage {per_mb(median(SANE, PER_MB))}", ratio,
                        f"ratio at most {PER_MB_TARGET_RATIO:.2f}",
                        ratio is not None and ratio <= PER_MB_TARGET_RATIO, load, cores)
    print_figure(f"brelvane's fixed cost {ms(median(OURS, FIXED))}", f"scanimage {ms(median(SANE, FIXED))}",
                 ratio_of(fits, FIXED, OURS, SANE), None, True, load, cores)
    pauses = ADAPTER_SELECTIONS * ADAPTER_PAUSE_S
    own = statistics.median(f[OURS][FIXED] - f[BARE][FIXED] - pauses for f in fits)
    return max(code, print_figure(
        f"brelvane's own share of its fixed cost (less the bare program's and {ADAPTER_SELECTIONS} adapter "
        f"pauses of {ADAPTER_PAUSE_S * 1000:.0f} ms) {ms(own)}",
        f"the bare program's fixed cost {ms(median(BARE, FIXED))}", None,
        f"under {OWN_SHARE_TARGET_S * 1000:.0f} ms", own < OWN_SHARE_TARGET_S, load, cores))


def main():
    if len(sys.argv) != 2:
        print("usage: program_fit.py TREE   (TREE: the build tree of one architecture)", file=sys.stderr)
        return EXIT_FAILED
    tree = sys.argv[1]
    all_programs = programs(tree)
    print(f"The whole program against scanimage -d test (sane-utils) and the bare program: squares of "
          f"{', '.join(str(mm) for mm in SIZES_MM)} mm at {PPI} ppi RGB "
          f"({', '.join(f'{megabytes(mm):.1f}' for mm in SIZES_MM)} MB of pixels), each into a new file in "
          f"one folder; {ROUNDS} rounds, each running the three back to back at every size", flush=True)
    folder = tempfile.mkdtemp(prefix="program-fit-", dir=os.path.join(tree, "bench"))
    try:
        load = machine_load()
        rounds = run_rounds(all_programs, folder)
        load = max(load, machine_load())
    except RunFailed as failure:
        print(f"  FAILED: {failure}")
        return EXIT_FAILED
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return report(all_programs, rounds, load, os.cpu_count())


if __name__ == "__main__":
    sys.exit(main())
