#!/usr/bin/env bash
# Speed, CPU time and peak RSS of quelt against curl on a local vsftpd, and
# how fast quelt shows a 10 MB reply (HACKING.md).  As root; builds quelt
# into build-medir/ unless QUELT names one.
#   bash bench/medir.sh [SIZE [ROUNDS]]      SIZE like 1G (default), 256M, 4M; 7 rounds
#   bash bench/medir.sh --grafica [ROUNDS]   1 MiB to 1 GiB, drawn into bench/grafica.png
# It fails on a failed transfer or a copy that differs, never on speed.
set -euo pipefail
QUELT=${QUELT:+$(realpath -e "$QUELT")}
cd "$(dirname "$0")/.."
grafica=
if [ "${1:-}" = --grafica ]; then grafica=bench/grafica.png; set -- "1M 4M 16M 64M 256M 1G" "${2:-5}"; fi
tamanos=${1:-1G} rondas=${2:-7}

. ./instalar.sh
instalar cmake ninja-build g++ hyperfine time vsftpd curl python3-pyftpdlib ${grafica:+gnuplot-nox}
if [ -z "${QUELT:-}" ]; then
  cmake -S . -B build-medir -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
  cmake --build build-medir >/dev/null && QUELT=$PWD/build-medir/quelt
fi
# vsftpd switches to its users ftp and nobody, which a user namespace lacks.
awk '$3 == 1 { exit 1 }' /proc/self/uid_map ||
  { echo "medir: vsftpd needs the users ftp and nobody, not in this user namespace: run as root" >&2; exit 77; }
escucha() { (exec 3<>"/dev/tcp/$1/21") 2>/dev/null; }
for ip in 127.0.6.1 127.0.6.2; do ! escucha $ip || { echo "medir: something listens on $ip:21" >&2; exit 1; }; done
B=$(mktemp -d /dev/shm/quelt-medir.XXXXXX) pids=()
export QUELT B TAM
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$B"' EXIT
trap 'exit 1' INT TERM

# vsftpd, with a folder of its own for its chroot: anonymous, uploads into
# sub/, every transfer in its log.  In quelt's folder n/, 'datos' is /dev/null.
mkdir -p "$B"/{raiz/sub,vacio,q/sub,n,c}
chmod 755 "$B" && chmod 777 "$B/raiz/sub"
ln -s /dev/null "$B/n/datos"
printf '%s\n' listen=YES listen_ipv6=NO listen_address=127.0.6.1 listen_port=21 background=NO \
  seccomp_sandbox=NO anonymous_enable=YES local_enable=NO write_enable=YES anon_upload_enable=YES \
  "anon_root=$B/raiz" ftp_username=ftp "secure_chroot_dir=$B/vacio" xferlog_enable=YES \
  "vsftpd_log_file=$B/vsftpd.log" >"$B/vsftpd.conf"
/usr/sbin/vsftpd "$B/vsftpd.conf" >"$B/servidores.log" 2>&1 & pids+=($!)
# pyftpdlib, whose HELP answers 100,000 lines of 100 bytes, made once at start.
/usr/bin/python3 -c '
import sys
from pyftpdlib import authorizers, handlers, servers
AYUDA = "".join("214-%094d\r\n" % i for i in range(100000)) + "214 fin\r\n"
class Ayuda(handlers.FTPHandler):
    def ftp_HELP(self, linea):
        self.push(AYUDA)
Ayuda.authorizer = authorizers.DummyAuthorizer()
Ayuda.authorizer.add_anonymous(sys.argv[1])
servers.FTPServer(("127.0.6.2", 21), Ayuda).serve_forever()' "$B/vacio" >>"$B/servidores.log" 2>&1 & pids+=($!)
for ip in 127.0.6.1 127.0.6.2; do
  for _ in {1..100}; do escucha $ip && break; sleep 0.05; done
  escucha $ip || { echo "medir: no server on $ip" >&2; cat "$B/servidores.log" >&2; exit 1; }
done

# The last line of the next reply on descriptor 3, into r.
respuesta() { while IFS= read -r -t 60 r <&3 && [[ ! $r =~ ^[0-9]{3}' ' ]]; do :; done; }
# The 1 KiB-write ceiling: a STOR of our own (passive: bash cannot listen)
# whose data dd sends with one write() per 1 KiB block, as a client must
# that hands each block to the kernel on its own.
techo() {
  local r o
  exec 3<>/dev/tcp/127.0.6.1/21 && respuesta
  for o in 'USER anonymous' 'PASS x' 'TYPE I' PASV; do printf '%s\r\n' "$o" >&3; respuesta; done
  [[ $r =~ ,([0-9]+),([0-9]+)\) ]] || return 1
  printf 'STOR sub/envio\r\n' >&3
  "${t[@]}" dd if="$B/raiz/datos" ibs=256K obs=1K status=none \
    >"/dev/tcp/127.0.6.1/$((BASH_REMATCH[1] * 256 + BASH_REMATCH[2]))"
  respuesta
  [[ $r == 150* ]] && respuesta && [[ $r == 226* ]]
}
# One run of a case.  GNU time adds its CPU seconds and peak RSS to $B/CASE.t.
correr() {
  local t=(/usr/bin/time -a -o "$B/$1.t" -f '%U %S %M') c=(curl -sS --ftp-port - --disable-eprt)
  local q=(setsid -w "${t[@]}" "$QUELT" 127.0.6.1) u=ftp://127.0.6.1
  case $1 in
    qget) cd "$B/q" && printf '%s\n' anonymous x 3 4 datos 0 | "${q[@]}" ;;
    qnul) cd "$B/n" && printf '%s\n' anonymous x 3 4 datos 0 | "${q[@]}" ;;
    qput) cd "$B/q" && printf '%s\n' anonymous x 3 5 sub/envio 0 | "${q[@]}" ;;
    cget) "${t[@]}" "${c[@]}" -o "$B/c/datos" $u/datos ;;
    cnul) "${t[@]}" "${c[@]}" -o /dev/null $u/datos ;;
    cput) "${t[@]}" "${c[@]}" -T "$B/q/sub/envio" $u/sub/envio ;;
    techo) techo ;;
    ayuda) printf '%s\n' anonymous x 6 0 | setsid -w "${t[@]}" "$QUELT" 127.0.6.2 >/dev/null ;;
  esac >"$B/$1.salida" 2>&1
}
# Before each run and after the last: the run before left its whole copy
# (from a download into /dev/null, its line in vsftpd's log).
comprobar() {
  local c=$(cat "$B/pendiente" 2>/dev/null)
  case $c in
    qget|cget) cmp -s "$B/raiz/datos" "$B/${c:0:1}/datos" ;;
    qnul|cnul) grep -q "OK DOWNLOAD: .*\"/datos\", $TAM bytes," "$B/vsftpd.log" ;;
    qput|cput|techo) cmp -s "$B/raiz/datos" "$B/raiz/sub/envio" ;;
  esac || return 1
  rm -f "$B/pendiente" "$B"/{q,c}/datos "$B/raiz/sub/envio" && : >"$B/vsftpd.log"
  [ -z "${1:-}" ] || echo "$1" >"$B/pendiente"
}
export -f respuesta techo correr comprobar

# The table of one size, from hyperfine's and GNU time's figures; a row of the chart.
informe() {
  awk -F '[ ,]' -v n="$TAM" -v r="$rondas" -v dat="$B/grafica.dat" '
    function f(v) { return sprintf(v < 10 ? "%.2f" : "%.0f", v) }
    function mbs(c, n) { return f(n / t[c] / 1e6) " [" f(n / hi[c] / 1e6) "-" f(n / lo[c] / 1e6) "]" }
    FILENAME ~ /csv$/ { if (FNR > 1) { t[$2] = $5; lo[$2] = $8; hi[$2] = $9 } next }
    { c = FILENAME; sub(/.*\//, "", c); sub(/\.t$/, "", c); u[c] += $1 / r; s[c] += $2 / r }
    $3 / 1024 > rss[c] { rss[c] = $3 / 1024 }
    END {
      printf "\n%.0f MiB, %d rounds: MB/s median [min-max]; CPU s (user+system, mean); peak RSS MiB\n", n / 1048576, r
      printf "  %-22s %17s %17s %10s %6s %6s %6s %6s\n", "", "quelt MB/s", "curl MB/s", "quelt/curl", "CPU q", "CPU c", "RSS q", "RSS c"
      split("download to file,download to /dev/null,upload", nombre, ","); split("get nul put", k)
      for (i = 1; i <= 3; i++)
        printf "  %-22s %17s %17s %9.2fx %6.2f %6.2f %6.2f %6.2f\n", nombre[i], mbs("q" k[i], n), mbs("c" k[i], n),
          t["c" k[i]] / t["q" k[i]], u["q" k[i]] + s["q" k[i]], u["c" k[i]] + s["c" k[i]], rss["q" k[i]], rss["c" k[i]]
      printf "  %-22s %17s   quelt upload at %.2f of it; CPU s of dd %.2f\n", "1 KiB-write ceiling", mbs("techo", n),
        t["techo"] / t["qput"], u["techo"] + s["techo"]
      if ("ayuda" in t)
        printf "  %-22s %17s   user %.2f s, system %.2f s, peak RSS %.2f MiB\n", "10 MB HELP reply",
          mbs("ayuda", 100000 * 100 + 9), u["ayuda"], s["ayuda"], rss["ayuda"]
      print n / 1048576, n / t["qget"] / 1e6, n / t["cget"] / 1e6, n / t["qput"] / 1e6, n / t["cput"] / 1e6, n / t["techo"] / 1e6 >> dat
    }' "$B/tiempos.csv" "$B"/*.t
}

echo "quelt ($QUELT) and curl, active mode, against vsftpd on 127.0.6.1, type I, files in $B."
echo "hyperfine times whole processes (start, login, transfer, QUIT); GNU time gives CPU and peak RSS."
for tam in $tamanos; do
  TAM=$(numfmt --from=iec "$tam")
  head -c "$TAM" /dev/urandom >"$B/raiz/datos"
  ln -f "$B/raiz/datos" "$B/q/sub/envio"
  casos=(qget cget qnul cnul qput cput techo)
  if [ -z "$grafica" ]; then
    # Timed, the reply goes to /dev/null; one run into a file shows it whole.
    printf '%s\n' anonymous x 6 0 | setsid -w "$QUELT" 127.0.6.2 >"$B/ayuda.salida"
    [ "$(grep -Ec $'214-[0-9]{94}\r$' "$B/ayuda.salida")" = 100000 ] && grep -q $'^214 fin\r$' "$B/ayuda.salida" ||
      { echo "medir: the HELP reply did not show whole" >&2; exit 1; }
    casos+=(ayuda)
  fi
  args=()
  for c in "${casos[@]}"; do args+=(--prepare "comprobar $c" "correr $c"); done
  rm -f "$B"/*.t
  # Its warnings of outliers are left out: the table shows the range.
  hyperfine -S bash --style none -r "$rondas" --cleanup comprobar --export-csv "$B/tiempos.csv" "${args[@]}" \
    2>"$B/hyperfine.log" || { c=$(cat "$B/pendiente" 2>/dev/null) || true; cat "$B/hyperfine.log" "$B/$c.salida" >&2
      echo "medir: ${c:-hyperfine} failed, or its copy differs" >&2; exit 1; }
  informe
done
[ -z "$grafica" ] || gnuplot <<FIN
set terminal pngcairo size 900,560 font ",11"; set output "$grafica"; set grid; set key left top
set title "quelt and curl against vsftpd on loopback, active mode, type I ($(date +%F), $(nproc) cores)"
set xlabel "file size (MiB)"; set logscale x 2; set xtics (1, 4, 16, 64, 256, 1024); set yrange [0:*]
set ylabel "MB/s, whole process (start, login, transfer, QUIT)"
plot for [i=2:5] "$B/grafica.dat" using 1:i with linespoints lw 2 lc 1 + i % 2 dt 1 + (i > 3) pt 5 + 2 * (i > 3) \
  title (i == 2 ? "quelt download" : i == 3 ? "curl download" : i == 4 ? "quelt upload" : "curl upload"), \
  "" using 1:6 with lines lw 1.5 dt 3 lc "gray30" title "1 KiB-write ceiling"
FIN
