"""Runs the benchmarks of a bench build and prints their figures as TSV.

    python3 bench/figures.py build/bench > bench/figures.tsv

docs/reference.md takes its cost figures from bench/figures.tsv; rerun this on
a quiet machine after a change that moves them, then regenerate the reference.
"""
import json
import os
import subprocess
import sys
import tempfile

BENCHES = ["process_report_bench", "cheat_scan_bench", "calls_bench", "digest_bench", "pe_bench",
           "linux_adapter_bench"]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/bench"
    rows = []
    for bench in BENCHES:
        exe = os.path.join(build, bench)
        if not os.access(exe, os.X_OK):
            sys.exit("%s is not built (configure with -DANTICHEAT_BENCH=ON)" % exe)
        with tempfile.NamedTemporaryFile(suffix=".json") as out:
            subprocess.run([exe, "--benchmark_out=" + out.name, "--benchmark_out_format=json"],
                           check=True, stdout=subprocess.DEVNULL)
            for b in json.load(open(out.name))["benchmarks"]:
                if b.get("run_type", "iteration") != "iteration" or "error_occurred" in b:
                    continue
                rows.append((bench, b["run_name"], b["cpu_time"], b["real_time"], b["time_unit"]))
    print("# Google Benchmark figures (cpu and wall time per call) of the Linux stand-in, Release build, on a shared")
    print("# 2-core machine; written by bench/figures.py. The reference's cost table prints them: regenerate both together.")
    print("bench\tname\tcpu\treal\tunit")
    for bench, name, cpu, real, unit in rows:
        print("%s\t%s\t%.3g\t%.3g\t%s" % (bench, name, cpu, real, unit))


if __name__ == "__main__":
    main()
