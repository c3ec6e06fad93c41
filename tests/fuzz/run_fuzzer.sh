#!/usr/bin/env bash
# Runs one fuzzer for SECONDS from the seed corpus SEEDS (inputs kept from earlier crashes
# included), writing what it finds new to FOUND, and prints its figures.
#   run_fuzzer.sh FUZZER SECONDS SEEDS FOUND
set -euo pipefail
fuzzer=$1 seconds=$2 seeds=$3 found=$4
mkdir -p "$found"
exec "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$found/" "$found" "$seeds"
