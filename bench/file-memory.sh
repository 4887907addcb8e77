#!/usr/bin/env bash
# Peak memory of reading dump files: bankshuttle-cli info on a 20 MB .syx of 2-byte messages
# (refused: more messages than any dump), on a .syx of exactly 1,000,000 such messages (the
# largest dump of the smallest messages), and on a 20 MB .mid of 1,000-byte messages, each
# measured by /usr/bin/time -v.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=${BANKSHUTTLE_CLI:-$here/../src/cli/bankshuttle-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
open(f"{work}/tiny-20mb.syx", "wb").write(b"\xf0\xf7" * 10_000_000)
open(f"{work}/tiny-1m.syx", "wb").write(b"\xf0\xf7" * 1_000_000)
message = b"\xf0\x31\x00\x5d\x01" + b"\x2a" * 994 + b"\xf7"
open(f"{work}/large.syx", "wb").write(message * 20_000)
PY
"$cli" convert "$work/large.syx" "$work/large-20mb.mid" >/dev/null

status=0
for f in tiny-20mb.syx tiny-1m.syx large-20mb.mid; do
  size=$(stat -c %s "$work/$f")
  set +e
  /usr/bin/time -v "$cli" info "$work/$f" >/dev/null 2>"$work/time.txt"
  exit=$?
  set -e
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
  awk -v f="$f" -v size="$size" -v rss="$rss" -v code="$exit" -v wall="$wall" 'BEGIN {
    printf "%-15s %6.1f MB  peak RSS %6.1f MB (%4.1f x the file)  exit %d  %s s\n",
           f, size / 1e6, rss * 1024 / 1e6, rss * 1024 / size, code, wall }'
  # The refused file must be refused; the others read.
  case "$f:$exit" in tiny-20mb.syx:1 | tiny-1m.syx:0 | large-20mb.mid:0) ;; *) status=1 ;; esac
done
exit $status
