#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual pages the build made: one per installed program, gzipped without a name or time
# stamp, with the NAME line whatis and lintian read ("PROGRAM \- what it does"), a synopsis, the
# options of --help, and nothing man's own checks warn about.
#   man_pages_test.sh BUILD-DIR PROGRAM...
set -euo pipefail
build=$1
shift

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

for program in "$@"; do
    page="$build/man/$program.1.gz"
    [ -f "$page" ] || fail "no manual page $page"
    # gzip -n leaves the name flag and the time stamp (bytes 3 to 7) empty.
    header=$(od -An -tx1 -N8 "$page" | tr -d ' \n')
    [ "${header:6:10}" = "0000000000" ] || fail "$page carries a name or time stamp ($header)"
    source=$(gzip -dc "$page")
    grep -q "^$program \\\\- [a-z]" <<<"$source" || fail "$page: no NAME line '$program \\- ...'"
    # lexgrog is what mandb and lintian's bad-whatis-entry check read the NAME line with.
    whatis=$(lexgrog "$page" 2>&1) || fail "$page: lexgrog: $whatis"
    [[ "$whatis" == *"\"$program - "* ]] || fail "$page: whatis entry $whatis"
    grep -q '^\.SH SYNOPSIS' <<<"$source" || fail "$page: no SYNOPSIS"
    grep -qF -- '\-\-version' <<<"$source" || fail "$page does not list --version"
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -l -E UTF-8 "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: man warns: $warnings"
done
