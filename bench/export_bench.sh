#!/usr/bin/env bash
# Export throughput and memory: quillbase-cli export of a table of ROWS rows of 20 KB into one
# file per row, against the mariadb client streaming the same rows into one file (the cost of
# reading them off the server), in one run; and the peak memory of quillbase-cli beside the
# size of the table it walked.
#   bench/export_bench.sh [ROWS=20000]
# Server: see bench_env.sh.
set -euo pipefail
source "$(dirname "$0")/bench_env.sh"
rows=${1:-20000}

sql -e "drop database if exists qb_bench_export; create database qb_bench_export character set utf8;
        create table qb_bench_export.t (ID bigint not null auto_increment primary key,
        name tinytext, body mediumtext) character set utf8;
        insert into qb_bench_export.t (name, body)
        select concat('row', seq), repeat(concat('line ', seq, ' of the article. '), 800)
        from qb_bench_export.seq_1_to_${rows}"
cat > "$work/bench.ini" <<EOF2
[主界面]
编辑框库名=qb_bench_export
编辑框表名=t
编辑框文件类型=*.txt
组合框文件编码=0
字段数=2
字段名或位置(1)=name
数据来源(1)=文件主名
数据配置(1)=无
字段名或位置(2)=body
数据来源(2)=文件内容
数据配置(2)=无
EOF2
gbk_ini "$work/bench.ini" "$work/bench-gbk.ini"  # CR LF lines, GBK

t0=$(now)
/usr/bin/time -f "%M" -o "$work/rss" "$cli" export --config "$work/bench-gbk.ini" --server "$server" \
  --user "$user" --password "$password" --folder "$work/out" >"$work/cli.log" 2>&1 ||
  { cat "$work/cli.log"; exit 1; }
ours=$(awk -v a="$t0" -v b="$(now)" 'BEGIN { print b - a }')
t0=$(now)
sql --quick -N -e "select name, body from qb_bench_export.t" > "$work/dump.tsv"
client=$(awk -v a="$t0" -v b="$(now)" 'BEGIN { print b - a }')
written=$(find "$work/out" -type f | wc -l)
data_mb=$(( $(du -sk "$work/out" | cut -f1) / 1024 ))

echo "Export of $rows rows of about 20 KB ($data_mb MB of files):"
awk -v n="$rows" -v s="$ours" 'BEGIN { printf "  quillbase-cli export   %8.1f files/s (%.2f s)\n", n / s, s }'
awk -v n="$rows" -v s="$client" 'BEGIN { printf "  mariadb --quick dump   %8.1f rows/s  (%.2f s)\n", n / s, s }'
awk -v a="$ours" -v b="$client" 'BEGIN { printf "  wall time ratio: ours / client dump %.2f\n", a / b }'
echo "  files written: $written"
echo "  peak memory of quillbase-cli: $(( $(cat "$work/rss") / 1024 )) MB beside $data_mb MB of rows"
sql -e "drop database qb_bench_export"
