#!/usr/bin/env bash
# Large tables in the table viewer and the SQL window, through the real windows (offscreen):
# a table of ROWS rows of SIZE bytes, the time until the first rows are painted, until every
# row can be reached, the scroll to the last row, the tab-separated export against the
# mariadb client writing the same rows (mariadb --quick -B) in the same run, and the peak
# resident memory of the program beside the size of the table.
#   bench/viewer_bench.sh [ROWS=60000] [SIZE=4000]
# Server: see bench_env.sh.
set -euo pipefail
source "$(dirname "$0")/bench_env.sh"
rows=${1:-60000} size=${2:-4000}
bench="$root/build/bench/viewer_bench"

sql -e "drop database if exists qb_bench_viewer; create database qb_bench_viewer;
        create table qb_bench_viewer.t (id int primary key, name varchar(40), body mediumtext);
        insert into qb_bench_viewer.t select seq, concat('row ', seq),
        repeat(char(97 + seq % 26), $size) from qb_bench_viewer.seq_1_to_${rows}"
echo "Table of $rows rows of about $size bytes ($(( rows * size / 1048576 )) MB):"
t0=$(now)
sql --quick -B -e "select * from qb_bench_viewer.t" > "$work/client.tsv"
client=$(awk -v a="$t0" -v b="$(now)" 'BEGIN { print b - a }')
for mode in viewer sql; do
  "$bench" "$server" "$user" "$password" qb_bench_viewer t "$mode" "$work/$mode.csv" > "$work/$mode.out"
  echo "  $mode:"
  sed 's/^/    /' "$work/$mode.out"
  exported=$(awk '$1 == "export_s" { print $2 }' "$work/$mode.out")
  awk -v a="$exported" -v b="$client" \
    'BEGIN { printf "    export time ratio: ours / mariadb --quick -B %.2f (client %.2f s)\n", a / b, b }'
done
sql -e "drop database qb_bench_viewer"
