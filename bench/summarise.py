#!/usr/bin/env python3
"""Reads chain_speed_bench's JSON output and prints the README's table: nanoseconds per
sample per channel for each variant, signal and block size, and the ratios of the shipped
chain (the best instruction set present) to the straightforward chain and to the floor.

    build/bench/chain_speed_bench --benchmark_format=json --benchmark_min_time=0.5 > speed.json
    bench/summarise.py speed.json
"""
import json
import sys


def main(path):
    with open(path) as f:
        report = json.load(f)
    times = {}  # (variant, signal, frames) -> ns per sample per channel
    for b in report["benchmarks"]:
        if "ns_per_sample" not in b:
            continue
        variant, signal, frames = b["name"].split("/")
        times[(variant, signal, int(frames))] = b["ns_per_sample"] * 1e9
    order = ["Straightforward", "Shipped_SSE2", "Shipped_AVX2", "Shipped_AVX-512", "DependencyBound"]
    variants = [v for v in order if any(key[0] == v for key in times)]
    shipped = [v for v in variants if v.startswith("Shipped_")]
    best = next(v for v in ("Shipped_AVX-512", "Shipped_AVX2", "Shipped_SSE2") if v in shipped)
    signals = ["noise", "sine", "burst_then_silence"]
    sizes = sorted({n for _, _, n in times})

    ctx = report.get("context", {})
    print(f"{ctx.get('num_cpus', '?')} CPUs at {ctx.get('mhz_per_cpu', '?')} MHz (as reported); "
          f"shipped chain = {best.replace('Shipped_', '')}, the best instruction set present\n")
    header = "| signal | frames | " + " | ".join(v.replace("Shipped_", "shipped ") for v in variants)
    header += " | straightforward / shipped | shipped / floor |"
    print(header)
    print("|" + "---|" * (header.count("|") - 1))
    for signal in signals:
        for n in sizes:
            row = [times.get((v, signal, n)) for v in variants]
            if all(t is None for t in row):
                continue
            plain, ship, floor = (times.get((v, signal, n)) for v in ("Straightforward", best, "DependencyBound"))
            cells = " | ".join(f"{t:.2f}" if t is not None else "" for t in row)
            print(f"| {signal.replace('_', ' ')} | {n} | {cells} | {plain / ship:.1f}x | {ship / floor:.2f}x |")


if __name__ == "__main__":
    main(sys.argv[1])
