#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Every benchmark answers --help at once: its usage on stdout, exit status 0, and no run started
# (a run writes its generated recordings and figures first, and takes minutes).
#   bench_help_test.sh BIN-DIR
set -euo pipefail
bin=$1

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

found=0
for bench in "$bin"/bench_*; do
    found=$((found + 1))
    name=$(basename "$bench")
    out=$(timeout 10 "$bench" --help 2>/dev/null) || fail "$name --help exited with $?"
    [[ "$out" == "Usage: $name"* ]] || fail "$name --help printed: ${out:0:200}"
    [ "$(printf '%s\n' "$out" | grep -c -- '--help')" -ge 1 ] || fail "$name --help lists no options"
done
[ "$found" -gt 0 ] || fail "no benchmarks in $bin"
