#!/usr/bin/env bash
# Fault tests of tablor-copy against a server of its own: the server killed in the middle of an
# upload (the server table unchanged, a clear error) and of a download (the Access file opens
# and passes the check), tablor-copy itself killed in the middle of a download (the file opens,
# the check is clean; an existing table it was refilling is as before), and a full disk during a download (simulated with a file size limit: a
# clear error, the file intact).
# Usage: copy_faults.sh TABLOR_COPY TABLOR_MDB
set -euo pipefail
copy=$1 mdb=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
if ! command -v mariadbd >/dev/null && [[ ! -x /usr/sbin/mariadbd ]]; then
  [[ -n ${CI:-} ]] && { echo "FAIL: no MariaDB server (scripts/setup installs it)" >&2; exit 1; }
  echo "no MariaDB server here: skipped"; exit 77
fi
work=$(mktemp -d)
sb="$work/sandbox"
sandbox() { "$root/scripts/mariadb-sandbox" "$1" "$sb" >/dev/null; }
trap 'sandbox stop || true; rm -rf "$work"' EXIT
sandbox start
# shellcheck disable=SC1091
source "$sb/env"
export TABLOR_PASSWORD=$TABLOR_TEST_MYSQL_PASSWORD
sql() { mariadb --no-defaults -N -h127.0.0.1 -P"$TABLOR_TEST_MYSQL_PORT" -u"$TABLOR_TEST_MYSQL_USER" "$@"; }
export MYSQL_PWD=$TABLOR_TEST_MYSQL_PASSWORD
conn=(--host 127.0.0.1 --port "$TABLOR_TEST_MYSQL_PORT" --user "$TABLOR_TEST_MYSQL_USER")
fail() { echo "FAIL: $*" >&2; exit 1; }
# Waits (up to 60 s) until the command in $1 prints a number above $2, while pid $3 runs.
wait_until() {
  for _ in $(seq 1 1200); do
    kill -0 "$3" 2>/dev/null || fail "the copy ended before the fault could hit it: $(cat "$work/out" 2>/dev/null)"
    (( $(eval "$1" 2>/dev/null || echo 0) > $2 )) && return 0
    sleep 0.05
  done
  fail "the copy made no progress in 60 s"
}

rows=400000
sql tablor_test <<SQL
CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(50), note TEXT) ENGINE=InnoDB
  SELECT seq AS id, CONCAT('Zeile ', seq) AS name, REPEAT('x', 100) AS note FROM seq_1_to_$rows;
CREATE DATABASE up;
CREATE TABLE up.t LIKE t;
INSERT INTO up.t SELECT * FROM t WHERE id <= 5;
SQL
"$copy" download "${conn[@]}" --database tablor_test --mdb "$work/t.mdb" --tables t >/dev/null

echo "server killed during an upload"
"$copy" upload "${conn[@]}" --database up --mdb "$work/t.mdb" --tables t --overwrite >"$work/out" 2>&1 &
pid=$!
# A batch of rows is on its way into the server table (the first of several).
wait_until "sql -e \"SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE 'LOAD DATA%'\"" 0 "$pid"
sandbox crash
rc=0; wait "$pid" || rc=$?
[[ $rc == 1 ]] || fail "upload exit code $rc, expected 1: $(cat "$work/out")"
grep -q "failed after .* rows: .*is as it was before" "$work/out" || fail "upload message: $(cat "$work/out")"
sed 's/^/  /' "$work/out"
sandbox resume
[[ $(sql -e 'SELECT COUNT(*) FROM up.t') == 5 ]] || fail "the server table changed: $(sql -e 'SELECT COUNT(*) FROM up.t') rows"

echo "server killed during a download"
"$copy" download "${conn[@]}" --database tablor_test --mdb "$work/d.mdb" --tables t >"$work/out" 2>&1 &
pid=$!
wait_until "stat -c %s '$work/d.mdb'" 4000000 "$pid"
sandbox crash
rc=0; wait "$pid" || rc=$?
[[ $rc == 1 ]] || fail "download exit code $rc, expected 1: $(cat "$work/out")"
grep -q "removed again" "$work/out" || fail "download message: $(cat "$work/out")"
sed 's/^/  /' "$work/out"
"$mdb" check "$work/d.mdb" >"$work/check" || fail "check after a lost server: $(cat "$work/check")"
sandbox resume

echo "tablor-copy killed during a download"
"$copy" download "${conn[@]}" --database tablor_test --mdb "$work/k.mdb" --tables t >/dev/null 2>&1 &
pid=$!
wait_until "stat -c %s '$work/k.mdb'" 8000000 "$pid"
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
"$mdb" check "$work/k.mdb" >"$work/check" || fail "check after a killed download: $(cat "$work/check")"

echo "tablor-copy killed while it refills an existing Access table"
cp "$work/t.mdb" "$work/e.mdb"
"$mdb" export "$work/e.mdb" t | md5sum >"$work/before"
"$copy" download "${conn[@]}" --database tablor_test --mdb "$work/e.mdb" --tables t --overwrite >/dev/null 2>&1 &
pid=$!
# The old rows are deleted on disk and new ones are being written (the journal keeps the old).
wait_until "stat -c %s '$work/e.mdb-journal'" 30000000 "$pid"
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
"$mdb" check "$work/e.mdb" >"$work/check" || fail "check after a killed refill: $(cat "$work/check")"
"$mdb" export "$work/e.mdb" t | md5sum | cmp -s - "$work/before" || fail "readers do not see the table as before"
"$mdb" sql "$work/e.mdb" "DELETE FROM t WHERE id = -1" >/dev/null # a writer: undoes the refill for good
[[ ! -e $work/e.mdb-journal ]] || fail "the journal outlived the next writer"
"$mdb" export "$work/e.mdb" t | md5sum | cmp -s - "$work/before" || fail "the refilled table is not as before"
"$mdb" check "$work/e.mdb" >"$work/check" || fail "check after the undone refill: $(cat "$work/check")"

echo "disk full during a download"
rc=0
( ulimit -f 12000; trap '' XFSZ; exec "$copy" download "${conn[@]}" --database tablor_test --mdb "$work/f.mdb" \
    --tables t ) >"$work/out" 2>&1 || rc=$?
[[ $rc == 1 ]] || fail "full-disk exit code $rc, expected 1: $(cat "$work/out")"
grep -qi "File too large\|No space" "$work/out" || fail "full-disk message: $(cat "$work/out")"
sed 's/^/  /' "$work/out"
"$mdb" check "$work/f.mdb" >"$work/check" || fail "check after a full disk: $(cat "$work/check")"
echo "all faults handled"
