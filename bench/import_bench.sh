#!/usr/bin/env bash
# Import throughput: quillbase-cli (one file per statement, the default batch, and each batch
# size of QB_BENCH_BATCHES) against the mariadb client sending the same INSERT statements and
# against LOAD DATA LOCAL INFILE of the same rows, in one run; then the peak memory of
# quillbase-cli importing into a table that already holds many large rows.
#   bench/import_bench.sh [FILES=5000] [PREFILL_ROWS=200000]
# Server: see bench_env.sh.
set -euo pipefail
source "$(dirname "$0")/bench_env.sh"
files=${1:-5000}
prefill=${2:-200000}

QB_ROOT="$root" python3 - "$work" "$files" <<'PY'
import os, random, sys
work, n = sys.argv[1], int(sys.argv[2])
random.seed(7)
chars = open(os.path.join(os.environ["QB_ROOT"], "data/hanzi-common-2500.txt"), encoding="utf-8").read().strip()
os.makedirs(os.path.join(work, "articles"))
rows = []
for i in range(n):
    size = random.randint(5 * 1024, 50 * 1024) // 3
    body = "".join(random.choice(chars) + ("，" if k % 17 == 16 else "") + ("。\n" if k % 61 == 60 else "") for k in range(size))
    title = body[:12].replace("\n", "")
    page = "<html><head><title>%s</title></head><body><p>%s</p></body></html>" % (title, body)
    kind = i % 4
    name = "a%05d.%s" % (i, "html" if kind == 3 else "txt")
    path = os.path.join(work, "articles", name)
    if kind == 0: data, text = body.encode("gbk"), body
    elif kind == 1: data, text = body.encode("utf-8"), body
    elif kind == 2: data, text = b"\xff\xfe" + body.encode("utf-16-le"), body
    else: data, text = page.encode("gbk"), page
    open(path, "wb").write(data)
    rows.append((name.rsplit(".", 1)[0], text, title if kind == 3 else ""))
def esc(s): return s.replace("\\", "\\\\").replace("'", "\\'")
with open(os.path.join(work, "inserts.sql"), "w", encoding="gbk") as f:
    for base, text, title in rows:
        f.write("insert into `t` set `name`='%s',`body`='%s',`title`='%s';\n" % (esc(base), esc(text), esc(title or " ")))
def tsv(s): return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
with open(os.path.join(work, "rows.tsv"), "w", encoding="gbk") as f:
    for base, text, title in rows:
        f.write("%s\t%s\t%s\n" % (tsv(base), tsv(text), tsv(title or " ")))
PY

make_table() {
  sql -e "drop database if exists qb_bench; create database qb_bench character set utf8;
          create table qb_bench.t (ID bigint not null auto_increment primary key, name tinytext,
          body mediumtext, title tinytext) character set utf8"
}
cat > "$work/bench.ini" <<EOF2
[主界面]
编辑框库名=qb_bench
编辑框表名=t
编辑框文件类型=*.*
组合框文件编码=0
字段数=3
字段名或位置(1)=name
数据来源(1)=文件主名
数据配置(1)=无
字段名或位置(2)=body
数据来源(2)=文件内容
数据配置(2)=无
字段名或位置(3)=title
数据来源(3)=网页标题
数据配置(3)=<title>┊?┊</title>
EOF2
gbk_ini "$work/bench.ini" "$work/bench-gbk.ini"  # CR LF lines, GBK
rate() { awk -v n="$files" -v s="$1" 'BEGIN { printf "%8.1f files/s (%.2f s)", n / s, s }'; }

# Seconds of a command into a fresh table: the best of QB_BENCH_REPEAT runs (default 3; the
# server's background flushing makes single runs vary by a third).
best_time() {
  local best=1e9 t0 t
  for _ in $(seq 1 "${QB_BENCH_REPEAT:-3}"); do
    make_table
    t0=$(now)
    "$@"
    t=$(awk -v a="$t0" -v b="$(now)" 'BEGIN { print b - a }')
    best=$(awk -v a="$t" -v b="$best" 'BEGIN { print (a < b ? a : b) }')
  done
  echo "$best"
}
ours_import() {
  "$cli" import --config "$work/bench-gbk.ini" --server "$server" --user "$user" --password "$password" \
    --folder "$work/articles" "$@" >"$work/cli.log" 2>&1 || { cat "$work/cli.log" >&2; exit 1; }
}
client_import() { sql --default-character-set=gbk qb_bench < "$work/inserts.sql"; }
load_data() {
  sql -e "load data local infile '$work/rows.tsv' into table qb_bench.t character set gbk (name, body, title)"
}
import_time() { best_time ours_import "$@"; }
single=$(import_time --batch 1)
ours=$(import_time)
declare -A batched
for b in ${QB_BENCH_BATCHES:-500}; do batched[$b]=$(import_time --batch "$b"); done
client=$(best_time client_import)
load=$(best_time load_data)

echo "Import of $files files (5-50 KB, GBK, UTF-8, UTF-16LE, GBK HTML):"
echo "  quillbase-cli --batch 1   $(rate "$single")"
echo "  quillbase-cli (default)   $(rate "$ours")"
for b in ${QB_BENCH_BATCHES:-500}; do
  printf "  quillbase-cli --batch %-4s%s\n" "$b" "$(rate "${batched[$b]}")"
done
echo "  mariadb INSERTs           $(rate "$client")"
echo "  LOAD DATA LOCAL           $(rate "$load")"
awk -v a="$ours" -v b="$client" -v c="$load" -v s="$single" 'BEGIN { printf "  throughput ratio: default / LOAD DATA %.2f, --batch 1 / LOAD DATA %.2f, default / client %.2f\n", c / a, c / s, b / a }'
for b in ${QB_BENCH_BATCHES:-500}; do
  awk -v a="${batched[$b]}" -v c="$load" -v b="$b" 'BEGIN { printf "  throughput ratio: --batch %s / LOAD DATA %.2f\n", b, c / a }'
done

# Peak memory with a full table: nothing may fetch its rows.
make_table
sql -e "insert into qb_bench.t (name, body, title) select 'pre', repeat('x', 20480), 'pre'
        from qb_bench.seq_1_to_${prefill}"
/usr/bin/time -f "%M" -o "$work/rss" "$cli" import --config "$work/bench-gbk.ini" --server "$server" \
  --user "$user" --password "$password" --folder "$work/articles" >/dev/null 2>&1 || true
echo "  peak memory of quillbase-cli into a table of $prefill rows of 20 KB: $(( $(cat "$work/rss") / 1024 )) MB"
sql -e "drop database qb_bench"
