#!/usr/bin/env bash
# The transcript of --log where it cannot be written: a file-size limit that cuts it short
# (SIGXFSZ ignored, so the write fails) never ends the update, which is confirmed while the
# tool says once, with the OS's reason, that the transcript ends there and at the end that it
# is incomplete; a log that cannot even be started (/dev/full) is refused with the reason
# before the device is touched.
#   transcript_limits.sh QX80
set -uo pipefail
qx80="$1"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT

fail() {
  echo "FAILED: $*"
  exit 1
}

# 16 KiB: the transcript of a whole update is hundreds of KiB.
(ulimit -f 16 && exec "$qx80" update --device sim --yes --speed 50 --log "$dir/log") >"$dir/out" 2>"$dir/err"
status=$?
cat "$dir/out" "$dir/err"
echo "file-size limit: exit $status"
[ "$status" -eq 0 ] || fail "the update did not go on"
grep -q "confirmed: the QX-80 runs the package's versions" "$dir/out" || fail "not confirmed"
[ "$(grep -c "cannot write the transcript $dir/log any more (File too large)" "$dir/err")" -eq 1 ] ||
  fail "the failure was not said once"
grep -q "the transcript $dir/log is incomplete (File too large)" "$dir/err" || fail "the end did not say it"

if [ -w /dev/full ]; then
  "$qx80" update --device sim --yes --speed 50 --log /dev/full >"$dir/out" 2>"$dir/err"
  status=$?
  cat "$dir/out" "$dir/err"
  echo "/dev/full: exit $status"
  [ "$status" -eq 2 ] || fail "a log that cannot be started was not refused"
  grep -q "cannot write the transcript /dev/full: No space left on device" "$dir/err" || fail "no reason given"
  ! grep -q "updating" "$dir/out" || fail "the update began"
fi
echo "passed"
