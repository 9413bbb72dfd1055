#!/usr/bin/env bash
# bvsfx beside zip, 7-Zip and tar + pigz on one corpus of this machine's
# files, in one run: packing (bvsfx pack -j2 --level 6, zip -6 -r,
# 7z a -tzip -mx5, tar with pigz -6 -p2) and extracting (the Linux installer
# itself, unzip, 7z x, tar -I pigz -x). Prints times, sizes and the ratios
# to bvsfx.
#
#   bench/pack_bench.sh [BVSFX [LINUX_STUB]]
#
# Defaults: the linux preset's build (build/linux). Build it optimised; a
# Debug build measures nothing useful. The corpus (about 200 MB of regular
# files from /usr/share/doc, topped up from /usr/include) is copied into a
# scratch folder first so that every tool reads the same tree from the same
# disk; set BVSFX_BENCH_MB to change its size.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bvsfx=${1:-$repo/build/linux/tools/bvsfx/bvsfx}
stub=${2:-$repo/build/linux/app/bvsfx-stub}
corpus_mb=${BVSFX_BENCH_MB:-200}

for tool in zip unzip 7z pigz; do
  if ! command -v "$tool" >/dev/null; then
    echo "pack_bench: $tool is missing: install zip, unzip, p7zip-full and pigz (scripts/bootstrap does)" >&2
    exit 1
  fi
done
for file in "$bvsfx" "$stub"; do
  if [ ! -x "$file" ]; then
    echo "pack_bench: $file is missing: cmake --preset linux && cmake --build --preset linux" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/bvsfx-bench.XXXXXX")
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
corpus=$work/corpus
mkdir -p "$corpus"

# Regular files only (links would be treated differently by each tool),
# in a stable order, up to the size asked for; copied in one tar pass. awk
# reads the whole list (an early exit would end sort with SIGPIPE, which
# pipefail turns into a silent failure of the script).
limit=$((corpus_mb * 1024 * 1024))
find /usr/share/doc /usr/include -type f -printf '%s %p\n' 2>/dev/null | sort -k2 |
  awk -v limit="$limit" 'done { next } { total += $1; if (total > limit) { done = 1; next } print substr($2, 2) }' > "$work/list"
tar -C / -cf - -T "$work/list" | tar -C "$corpus" -xpf -
files=$(find "$corpus" -type f | wc -l)
bytes=$(du -sb "$corpus" | cut -f1)
echo "corpus: $files files, $((bytes / 1024 / 1024)) MB (from /usr/share/doc and /usr/include)"
sync

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "-"; else printf "%.2f", a / b }'; }
size_of() { stat -c %s "$1"; }

cd "$work"
# Packing.
t0=$(now); "$bvsfx" pack -q -j2 --level 6 --stub "$stub" -o bvsfx.run --silent --dir "%temp%/out" corpus; t1=$(now)
pack_bvsfx=$(elapsed "$t0" "$t1"); size_bvsfx=$(size_of bvsfx.run)
t0=$(now); zip -q -6 -r corpus.zip corpus; t1=$(now)
pack_zip=$(elapsed "$t0" "$t1"); size_zip=$(size_of corpus.zip)
t0=$(now); 7z a -bd -bso0 -tzip -mx5 -mmt2 corpus7.zip corpus >/dev/null; t1=$(now)
pack_7z=$(elapsed "$t0" "$t1"); size_7z=$(size_of corpus7.zip)
t0=$(now); tar -I 'pigz -6 -p2' -cf corpus.tar.gz corpus; t1=$(now)
pack_pigz=$(elapsed "$t0" "$t1"); size_pigz=$(size_of corpus.tar.gz)

# Extracting. The installer runs silently into %temp%/out.
mkdir -p stub-tmp unzip-out 7z-out pigz-out
t0=$(now); status=0; TMPDIR=$work/stub-tmp ./bvsfx.run || status=$?; t1=$(now)
if [ "$status" -ne 1 ]; then echo "pack_bench: the installer exited $status" >&2; exit 1; fi
extract_stub=$(elapsed "$t0" "$t1")
t0=$(now); unzip -q corpus.zip -d unzip-out; t1=$(now)
extract_unzip=$(elapsed "$t0" "$t1")
t0=$(now); 7z x -bd -bso0 -mmt2 -o7z-out corpus7.zip >/dev/null; t1=$(now)
extract_7z=$(elapsed "$t0" "$t1")
t0=$(now); tar -I pigz -xf corpus.tar.gz -C pigz-out; t1=$(now)
extract_pigz=$(elapsed "$t0" "$t1")

# The four extractions must agree with the corpus.
diff -r corpus stub-tmp/out >/dev/null || { echo "pack_bench: the installer's output differs" >&2; exit 1; }
diff -r corpus unzip-out/corpus >/dev/null || { echo "pack_bench: unzip's output differs" >&2; exit 1; }
diff -r corpus 7z-out/corpus >/dev/null || { echo "pack_bench: 7z's output differs" >&2; exit 1; }
diff -r corpus pigz-out/corpus >/dev/null || { echo "pack_bench: tar + pigz's output differs" >&2; exit 1; }

# The installer's size less its stub: the payload is what compares with
# an archive.
stub_bytes=$(size_of "$stub")
size_bvsfx=$((size_bvsfx - stub_bytes))
printf '\n%-34s %10s %14s %10s\n' "pack" "seconds" "bytes" "% of input"
printf '%-34s %10s %14s %10s\n' "bvsfx pack -j2 --level 6 (payload)" "$pack_bvsfx" "$size_bvsfx" "$(awk -v a="$size_bvsfx" -v b="$bytes" 'BEGIN{printf "%.1f", 100*a/b}')"
printf '%-34s %10s %14s %10s\n' "zip -6 -r" "$pack_zip" "$size_zip" "$(awk -v a="$size_zip" -v b="$bytes" 'BEGIN{printf "%.1f", 100*a/b}')"
printf '%-34s %10s %14s %10s\n' "7z a -tzip -mx5 -mmt2" "$pack_7z" "$size_7z" "$(awk -v a="$size_7z" -v b="$bytes" 'BEGIN{printf "%.1f", 100*a/b}')"
printf '%-34s %10s %14s %10s\n' "tar -I 'pigz -6 -p2' -c" "$pack_pigz" "$size_pigz" "$(awk -v a="$size_pigz" -v b="$bytes" 'BEGIN{printf "%.1f", 100*a/b}')"
printf '(the installer adds the %s-byte stub in front of the payload)\n' "$stub_bytes"
printf '\n%-34s %10s\n' "extract" "seconds"
printf '%-34s %10s\n' "installer (silent run)" "$extract_stub"
printf '%-34s %10s\n' "unzip" "$extract_unzip"
printf '%-34s %10s\n' "7z x -mmt2" "$extract_7z"
printf '%-34s %10s\n' "tar -I pigz -x" "$extract_pigz"
printf '\nratios to bvsfx (above 1: bvsfx is faster or smaller)\n'
printf '  pack time:    zip %s, 7z %s, tar + pigz %s\n' "$(ratio "$pack_zip" "$pack_bvsfx")" "$(ratio "$pack_7z" "$pack_bvsfx")" "$(ratio "$pack_pigz" "$pack_bvsfx")"
printf '  size:         zip %s, 7z %s, tar + pigz %s\n' "$(ratio "$size_zip" "$size_bvsfx")" "$(ratio "$size_7z" "$size_bvsfx")" "$(ratio "$size_pigz" "$size_bvsfx")"
printf '  extract time: unzip %s, 7z %s, tar + pigz %s\n' "$(ratio "$extract_unzip" "$extract_stub")" "$(ratio "$extract_7z" "$extract_stub")" "$(ratio "$extract_pigz" "$extract_stub")"
