#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer on)
# and runs each for a bounded time from its seed corpus. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
out=build-fuzz
mkdir -p "$out"

flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I.)
layer=(printer_link/platform.cpp printer_link/discovery.cpp printer_link/command_channel.cpp)

clang++ "${flags[@]}" tests/fuzz/fuzz_device_id.cpp "${layer[@]}" -o "$out/fuzz_device_id"
clang++ "${flags[@]}" tests/fuzz/fuzz_linux_backend.cpp "${layer[@]}" \
    printer_link/linux/linux_backend.cpp printer_link/linux/device_id.cpp -o "$out/fuzz_linux_backend"
clang++ "${flags[@]}" tests/fuzz/fuzz_firmware_name.cpp firmware/identity_check.cpp \
    printer_link/platform.cpp -o "$out/fuzz_firmware_name"

for target in device_id linux_backend firmware_name; do
    corpus="$out/corpus_$target"
    mkdir -p "$corpus"
    cp -n tests/fuzz/corpus/$target/* "$corpus/" 2>/dev/null || true
    echo "== fuzz_$target for ${seconds}s"
    if ! "$out/fuzz_$target" -max_total_time="$seconds" -max_len=1024 -print_final_stats=1 \
            -artifact_prefix="$out/" "$corpus" > "$out/fuzz_$target.log" 2>&1; then
        cat "$out/fuzz_$target.log"
        echo "fuzz_$target found a failure; the input is in $out/" >&2
        exit 1
    fi
    tail -n 8 "$out/fuzz_$target.log"
done
