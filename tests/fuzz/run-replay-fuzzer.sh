#!/usr/bin/env bash
# Builds the libFuzzer target of the replay decoder with clang and runs it.
# Usage: run-replay-fuzzer.sh [SECONDS (default 600)] [WORK_DIR (default /tmp/kestrow-replay-fuzz)]
source "$(dirname "$0")/fuzz_build.sh" /tmp/kestrow-replay-fuzz replay_fuzzer "$@"
build_fuzzer "$here/replay_fuzzer.cpp" "$src/game/replay.cpp" "$src/game/rules_engine.cpp" \
  -- "$src/game/replay.h" "$src/game/rules_engine.h" -- -lz
# Seeds in the encoder's layout (versions, flags, seed, step count, steps as stamp delta << 3 |
# action, end), compressed and base64url-encoded: no action, a few, and long gaps.
python3 - "$work/corpus" <<'PY'
import base64, sys, zlib
def varint(n):
    out = bytearray()
    while n >= 0x80:
        out.append(n & 0x7F | 0x80)
        n >>= 7
    return bytes(out + bytes([n]))
def record(flags, seed, steps, end):
    data = bytes([1, 1, flags]) + seed.to_bytes(8, "little") + varint(len(steps))
    for delta, action in steps:
        data += varint(delta << 3 | action)
    return data + varint(end)
seeds = {"empty": record(0, 0, [], 0),
         "actions": record(3, 42, [(200, 0), (180, 2), (250, 4), (0, 5), (999, 1)], 40),
         "long_gaps": record(1, 2**63, [(5000, 4), (100000, 3)], 70000)}
for name, data in seeds.items():
    text = base64.urlsafe_b64encode(zlib.compress(data, 9)).decode().rstrip("=")
    open(f"{sys.argv[1]}/{name}", "w").write(text)
PY
"$binary" -max_total_time="$seconds" -max_len=8192 -timeout=5 -rss_limit_mb=1024 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus"
