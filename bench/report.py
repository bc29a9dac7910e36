#!/usr/bin/env python3
"""Turns the benchmark results into one Markdown table: every figure beside the baseline that
was measured in the same run, their ratio, the goal and whether the ratio meets it.

usage: report.py INPROCESS.json ENDTOEND.json
INPROCESS.json is varnel_bench's Google Benchmark JSON (medians of repetitions), ENDTOEND.json
varnel_e2ebench's output.
"""
import json
import sys

KIB = 1024
LINEAR_MAX = 1.25  # cost per block may vary this much over a 4096-fold longer stream


def medians(path):
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    # One repetition has no aggregates: its runs are the figures.
    wanted = "median" if any(r["run_type"] == "aggregate" for r in runs) else None
    return {r["run_name"]: r for r in runs if r.get("aggregate_name") == wanted}


def ratio_of(figure, baseline):
    """figure / baseline, where both may be nothing at all (CPU time of idle processes)."""
    if baseline > 0:
        return figure / baseline
    return 1.0 if figure == 0 else float("inf")


def mb_per_s(value):
    if value >= 100e6:
        return f"{value / 1e6:,.0f} MB/s"
    if value >= 1e6:
        return f"{value / 1e6:,.1f} MB/s"
    return f"{value / 1e3:,.1f} kB/s"


def main(inprocess_path, endtoend_path):
    bench = medians(inprocess_path)
    with open(endtoend_path) as f:
        e2e = json.load(f)
    rows = []

    def row(measure, figure, baseline_name, baseline, ratio, goal, met):
        rows.append((measure, figure, baseline_name, baseline, f"{ratio:,.3g}", goal,
                     "yes" if met else "**no**"))

    memcpy = bench["BM_Memcpy"]["bytes_per_second"]
    contents = {0: "random", 1: "only FEND and FESC"}
    for codec, reference in (("AX25toKAM", "SpliceEscape"), ("KAMtoAX25", "SpliceUnescape")):
        for arg, content in contents.items():
            speed = bench[f"BM_{codec}/{arg}"]["bytes_per_second"]
            spliced = bench[f"BM_{reference}/{arg}"]["bytes_per_second"]
            measure = f"`{codec}`, 32 KiB {content}"
            row(measure, mb_per_s(speed), "memcpy", mb_per_s(memcpy), speed / memcpy,
                "≥ 0.25", speed / memcpy >= 0.25)
            row(measure, mb_per_s(speed), "search and splice", mb_per_s(spliced),
                speed / spliced, "≥ 100", speed / spliced >= 100)

    sizes = sorted(int(name.split("/")[1]) for name in bench
                   if name.startswith("BM_DispatchClientData/"))
    for blocks in (sizes[0], sizes[-1]):
        dispatch = bench[f"BM_DispatchClientData/{blocks}"]["blocks_per_second"]
        scan = bench[f"BM_FendScan/{blocks}"]["blocks_per_second"]
        row(f"`dispatchClientData`, {blocks:,} blocks of 256 bytes in 4 KiB pieces",
            f"{dispatch:,.0f} blocks/s", "FEND scan", f"{scan:,.0f} blocks/s", dispatch / scan,
            "none: the baseline's own speed", True)
    short = bench[f"BM_DispatchClientData/{sizes[0]}"]["blocks_per_second"]
    long = bench[f"BM_DispatchClientData/{sizes[-1]}"]["blocks_per_second"]
    row(f"`dispatchClientData`, time per block at {sizes[-1]:,} blocks",
        f"{1e6 / long:.2f} µs", f"at {sizes[0]} blocks", f"{1e6 / short:.2f} µs", short / long,
        f"≤ {LINEAR_MAX} (linear)", short / long <= LINEAR_MAX)

    varnel, relay = e2e["varnel"], e2e["relay"]
    for key, label in (("median_us", "median"), ("p99_us", "99th percentile")):
        ratio = varnel[key] / relay[key]
        goal, met = ("≤ 2", ratio <= 2) if key == "median_us" else ("none", True)
        row(f"Round trip through the program, {label}", f"{varnel[key]:,.0f} µs", "TCP relay",
            f"{relay[key]:,.0f} µs", ratio, goal, met)
    speed = varnel["blocks_per_second"]
    row(f"Blocks of {e2e['block_bytes']} bytes through the program and back, "
        f"{e2e['window_blocks']} in flight",
        f"{speed:,.0f} blocks/s", "TCP relay", f"{relay['blocks_per_second']:,.0f} blocks/s",
        speed / relay["blocks_per_second"], "≥ 100,000 blocks/s", speed >= 100_000)
    idle = varnel["idle_cpu_ms"]
    row(f"CPU while left alone {e2e['idle_seconds']} s with engine and client connected",
        f"{idle:.2f} ms", "TCP relay", f"{relay['idle_cpu_ms']:.2f} ms",
        ratio_of(idle, relay["idle_cpu_ms"]), "≤ 5 ms", idle <= 5)
    start = varnel["startup_ms"]
    row("Start-up to listening", f"{start:.0f} ms", "TCP relay",
        f"{relay['startup_ms']:.0f} ms", start / relay["startup_ms"], "< 100 ms", start < 100)
    resident = varnel["resident_kib"]
    row("Resident memory, headless, after all of the above", f"{resident / KIB:.1f} MiB",
        "TCP relay", f"{relay['resident_kib'] / KIB:.1f} MiB", resident / relay["resident_kib"],
        "< 30 MB", resident * KIB < 30e6)

    header = ("Measure", "Varnel", "Baseline", "Baseline figure", "Ratio", "Goal", "Met")
    print("| " + " | ".join(header) + " |")
    print("|" + "|".join("---" for _ in header) + "|")
    for r in rows:
        print("| " + " | ".join(r) + " |")
    missed = sum(r[-1] != "yes" for r in rows)
    print(f"\n{missed} of {len(rows)} goals missed." if missed else "\nEvery goal met.")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
