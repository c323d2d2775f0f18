# Shared by the benchmark scripts (sourced): the server, the command line, a scratch folder
# removed on exit, sql to run the mariadb client, now for timing, and gbk_ini to turn a
# configuration written here in UTF-8 with LF into the program's GBK with CR LF.
# Server: QB_BENCH_SERVER=host:port (default 127.0.0.1:3306), QB_BENCH_USER, QB_BENCH_PASSWORD.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
server=${QB_BENCH_SERVER:-127.0.0.1:3306}
user=${QB_BENCH_USER:-root}
password=${QB_BENCH_PASSWORD:-root}
host=${server%%:*} port=${server##*:}
cli="$root/build/src/quillbase-cli"
work=$(mktemp -d "${TMPDIR:-/tmp}/quillbase-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
sql() { mariadb --no-defaults -h"$host" -P"$port" -u"$user" -p"$password" --local-infile=1 "$@"; }
now() { date +%s.%N; }
gbk_ini() { sed "s/\$/\r/" "$1" | iconv -f UTF-8 -t GBK > "$2"; }
