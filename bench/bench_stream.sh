#!/usr/bin/env bash
# bench/bench_stream.sh <bench_stream program>: runs the stream benchmarks
# (which time cat and cp in the same run) and prints the ratios that matter.
set -euo pipefail
program=$1
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$program" --benchmark_out="$json" --benchmark_out_format=json
python3 - "$json" <<'PY'
import json, sys
runs = {b["name"].split("/")[0]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
def ms(name): return runs[name]["real_time"]
def mbps(name): return runs[name]["bytes_per_second"] / 1e6
print()
print("LoadBytes / cat      : %.2fx  (%.1f ms vs %.1f ms)" % (ms("BM_LoadBytes64MiB") / ms("BM_Cat64MiB"), ms("BM_LoadBytes64MiB"), ms("BM_Cat64MiB")))
print("read into fresh memory / cat (the floor for any loader): %.2fx  (%.1f ms)" % (ms("BM_FreshMemoryFloor64MiB") / ms("BM_Cat64MiB"), ms("BM_FreshMemoryFloor64MiB")))
print("CopyToEnd / cp       : %.2fx  (%.1f ms vs %.1f ms)" % (ms("BM_CopyToEnd64MiB") / ms("BM_Cp64MiB"), ms("BM_CopyToEnd64MiB"), ms("BM_Cp64MiB")))
print("ReadLine, file stream: %.0f MB/s (generic byte reader: %.0f MB/s)" % (mbps("BM_ReadLineFile"), mbps("BM_ReadLineGeneric")))
PY
