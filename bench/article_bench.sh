#!/usr/bin/env bash
# Real pages end to end: a folder of HTML pages (5-500 KB; entities, titles, links, some left
# open; GBK, UTF-8 with and without a meta charset, Big5) imported with all eleven data
# sources in the field list, against the mariadb client sending the same INSERT statements
# (a dump of the rows the import wrote); then those rows exported without a 文件主名 field
# (every name drawn from the text), against a mariadb --quick dump of the content column
# (best of three runs each).
#   bench/article_bench.sh [PAGES=400]
# Server: see bench_env.sh.
set -euo pipefail
source "$(dirname "$0")/bench_env.sh"
pages=${1:-400}

QB_ROOT="$root" python3 - "$work" "$pages" <<'PY'
import os, random, sys
work, n = sys.argv[1], int(sys.argv[2])
random.seed(11)
chars = open(os.path.join(os.environ["QB_ROOT"], "data/hanzi-common-2500.txt"), encoding="utf-8").read().strip()
entities = ["&nbsp;", "&amp;", "&ldquo;", "&rdquo;", "&mdash;", "&lt;", "&gt;", "&#20013;", "&#x6587;", "&middot;"]
os.makedirs(os.path.join(work, "pages", "news"))
os.makedirs(os.path.join(work, "pages", "blog"))
for i in range(n):
    size = random.randint(5 * 1024, 500 * 1024) // 3
    parts, total = [], 0
    while total < size:
        k = random.random()
        if k < 0.80: piece = "".join(random.choice(chars) for _ in range(random.randint(5, 30))) + random.choice("，。！？；")
        elif k < 0.88: piece = random.choice(entities)
        elif k < 0.94: piece = '<a href="/p/%d.html">%s</a>' % (random.randint(1, 9999), random.choice(chars) * 3)
        elif k < 0.95: piece = '<a href="/open/%d.html">' % i  # left open
        else: piece = "</p>\n<p>"
        parts.append(piece)
        total += len(piece)
    title = "".join(random.choice(chars) for _ in range(12))
    kind = i % 8
    charset = {0: "gbk", 1: "gbk", 2: "gbk", 3: "gbk", 4: "utf-8", 5: "utf-8", 6: None, 7: "big5"}[kind]
    head = '<meta http-equiv="Content-Type" content="text/html; charset=%s">' % charset if charset else ""
    page = "<html><head>%s<title>%s</title></head><body><p>%s</p></body></html>" % (head, title, "".join(parts))
    encoding = {None: "utf-8"}.get(charset, charset)
    path = os.path.join(work, "pages", "news" if i % 2 else "blog", "p%04d.html" % i)
    open(path, "wb").write(page.encode(encoding, errors="replace"))
PY

sql -e "drop database if exists qb_bench_pages; create database qb_bench_pages character set utf8;
        create table qb_bench_pages.t (ID bigint not null auto_increment primary key,
        name tinytext, body mediumtext, title tinytext, summary text, stamp datetime,
        chinese tinytext, letters tinytext, moment tinytext, phrase tinytext, folder tinytext,
        fixed tinytext) character set utf8"
cat > "$work/bench.ini" <<'EOF2'
[主界面]
编辑框库名=qb_bench_pages
编辑框表名=t
编辑框文件类型=*.html
组合框文件编码=0
选择框遍历子目录=真
字段数=11
字段名或位置(1)=name
数据来源(1)=文件主名
数据配置(1)=无
字段名或位置(2)=body
数据来源(2)=文件内容
数据配置(2)=无
字段名或位置(3)=title
数据来源(3)=网页标题
数据配置(3)=<title>┊?┊</title>
字段名或位置(4)=summary
数据来源(4)=内容摘要
数据配置(4)=100┊?┊200
字段名或位置(5)=stamp
数据来源(5)=文件时间
数据配置(5)=假┊?┊真┊?┊假┊?┊0
字段名或位置(6)=chinese
数据来源(6)=随机汉字
数据配置(6)=真┊?┊假┊?┊假┊?┊假┊?┊5┊?┊10
字段名或位置(7)=letters
数据来源(7)=随机数母
数据配置(7)=真┊?┊真┊?┊假┊?┊假┊?┊6┊?┊12
字段名或位置(8)=moment
数据来源(8)=随机时间
数据配置(8)=<年>-<月>-<日> <时>:<分>:<秒>┊?┊2012┊?┊2015┊?┊假
字段名或位置(9)=phrase
数据来源(9)=随机词组
数据配置(9)=春|夏|秋|冬┊?┊0┊?┊1┊?┊3
字段名或位置(10)=folder
数据来源(10)=父目录名
数据配置(10)=无
字段名或位置(11)=fixed
数据来源(11)=固定文本
数据配置(11)=基准
EOF2
gbk_ini "$work/bench.ini" "$work/bench-gbk.ini"
cat > "$work/export.ini" <<'EOF2'
[主界面]
编辑框库名=qb_bench_pages
编辑框表名=t
编辑框文件类型=*.html
组合框文件编码=0
字段数=1
字段名或位置(1)=body
数据来源(1)=文件内容
数据配置(1)=无
EOF2
gbk_ini "$work/export.ini" "$work/export-gbk.ini"
data_mb=$(( $(du -sk "$work/pages" | cut -f1) / 1024 ))
login=(--server "$server" --user "$user" --password "$password")

t0=$(now)
"$cli" import --config "$work/bench-gbk.ini" "${login[@]}" --folder "$work/pages" >"$work/import.log" 2>&1 ||
  { cat "$work/import.log"; exit 1; }
ours=$(awk -v a="$t0" -v b="$(now)" 'BEGIN { print b - a }')
# The same statements: one INSERT per row with the values the import wrote, in GBK.
mariadb-dump --no-defaults -h"$host" -P"$port" -u"$user" -p"$password" --default-character-set=gbk \
  --no-create-info --skip-extended-insert --complete-insert --skip-add-locks --skip-disable-keys \
  --skip-comments qb_bench_pages t > "$work/inserts.sql"
sql -e "truncate table qb_bench_pages.t"
t0=$(now)
sql --default-character-set=gbk qb_bench_pages < "$work/inserts.sql"
client=$(awk -v a="$t0" -v b="$(now)" 'BEGIN { print b - a }')

# Three runs of each, alternating, the best of each kept: the server is still writing out the
# import at first, and the two machines' cores are shared with it.
ours_export=1e9 dump=1e9
for _ in 1 2 3; do
  rm -rf "$work/out"
  t0=$(now)
  "$cli" export --config "$work/export-gbk.ini" "${login[@]}" --folder "$work/out" >"$work/export.log" 2>&1 ||
    { cat "$work/export.log"; exit 1; }
  ours_export=$(awk -v a="$t0" -v b="$(now)" -v m="$ours_export" 'BEGIN { d = b - a; print (d < m ? d : m) }')
  t0=$(now)
  sql --quick -N --default-character-set=gbk -e "select body from qb_bench_pages.t" > "$work/dump.tsv"
  dump=$(awk -v a="$t0" -v b="$(now)" -v m="$dump" 'BEGIN { d = b - a; print (d < m ? d : m) }')
done
written=$(find "$work/out" -type f | wc -l)

echo "Import of $pages HTML pages ($data_mb MB), all eleven data sources:"
awk -v n="$pages" -v s="$ours" 'BEGIN { printf "  quillbase-cli import      %7.1f pages/s (%.2f s)\n", n / s, s }'
awk -v n="$pages" -v s="$client" 'BEGIN { printf "  mariadb, same INSERTs     %7.1f pages/s (%.2f s)\n", n / s, s }'
awk -v a="$ours" -v b="$client" 'BEGIN { printf "  wall time ratio: ours / client %.2f\n", a / b }'
echo "Export of those rows without 文件主名 ($written files):"
awk -v n="$pages" -v s="$ours_export" 'BEGIN { printf "  quillbase-cli export      %7.1f files/s (%.2f s)\n", n / s, s }'
awk -v n="$pages" -v s="$dump" 'BEGIN { printf "  mariadb --quick dump      %7.1f rows/s  (%.2f s)\n", n / s, s }'
awk -v a="$ours_export" -v b="$dump" 'BEGIN { printf "  wall time ratio: ours / client dump %.2f\n", a / b }'
sql -e "drop database qb_bench_pages"
