#!/usr/bin/env bash
# End to end: one corpus of this machine's files packed and extracted by
# bvsfx and its Linux installer beside zip / unzip, tar + pigz, 7z and
# makeself, in a folder on tmpfs and in a folder on disk.
#
#   bench/e2e.sh [--mb N] [--rounds N] [--tmpfs DIR] [--disk DIR]
#                [--bvsfx PATH] [--stub PATH]
#
# --mb          corpus size (default 200): regular files from /usr/lib and
#               /usr/share, half from each, in sorted order
# --rounds      rounds (default 3); every round runs each tool once, one
#               tool after the other, so that a change in the machine's load
#               falls on all of them; the medians are printed
# --tmpfs/--disk the folders the work happens in (defaults: /dev/shm and
#               /var/tmp; the script says if the first is not a tmpfs or the
#               second is one)
# --bvsfx/--stub default: the linux preset's build (build it optimised)
#
# Pack: bvsfx pack -j2 with the Linux stub at its default level (bvsfx) and
# at --level 6 (bvsfx-l6, zip's and pigz's level); zip -6 -r;
# tar -I 'pigz -6 -p2' -c; 7z a -mx5 -mmt2 (its own format); makeself
# --pigz --complevel 6. Extract: the installer with --target --quiet
# --noexec; unzip; tar -I pigz -x; 7z x -mmt2; the makeself archive with
# --target --noexec --quiet. Every extraction is compared with the corpus
# (diff -r) and a difference stops the script. Times are wall-clock seconds
# of the command alone (GNU time), and beside the extraction times the CPU
# seconds (user + system, children included: pigz's for tar) tell what a
# loaded machine's wall clock hides; dirty pages are written back (sync)
# before each timed command, not during it. Peak memory is the command's
# maximum resident set (for tar + pigz: tar's, not pigz's).
#
# Last, the targets: the installer's extraction time over tar + pigz's
# (below 1), bvsfx pack -j2's time over zip -6 -r's (at most 0.4) and its
# installer's bytes over tar + pigz -6's (at most 1), each with "met" or
# "not met".
#
# Run by hand; scripts/test does not run it. Needs zip, unzip, pigz, 7z,
# makeself and GNU time (scripts/bootstrap installs them).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

corpus_mb=200
rounds=3
tmpfs_root=/dev/shm
disk_root=/var/tmp
bvsfx=$repo/build/linux/tools/bvsfx/bvsfx
stub=$repo/build/linux/app/bvsfx-stub
while [ $# -gt 0 ]; do
  case "$1" in
    --mb) corpus_mb=$2; shift ;;
    --rounds) rounds=$2; shift ;;
    --tmpfs) tmpfs_root=$2; shift ;;
    --disk) disk_root=$2; shift ;;
    --bvsfx) bvsfx=$2; shift ;;
    --stub) stub=$2; shift ;;
    -h|--help) sed -n '2,37p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "e2e.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

for tool in zip unzip pigz 7z makeself; do
  if ! command -v "$tool" >/dev/null; then
    echo "e2e.sh: $tool is missing: install zip, unzip, pigz, p7zip-full and makeself (scripts/bootstrap does)" >&2
    exit 1
  fi
done
if [ ! -x /usr/bin/time ]; then
  echo "e2e.sh: GNU time is missing: install the package time (scripts/bootstrap does)" >&2
  exit 1
fi
for file in "$bvsfx" "$stub"; do
  if [ ! -x "$file" ]; then
    echo "e2e.sh: $file is missing: cmake --preset linux && cmake --build --preset linux" >&2
    exit 1
  fi
done
[ "$(stat -f -c %T "$tmpfs_root")" = tmpfs ] || echo "e2e.sh: note: $tmpfs_root is not a tmpfs" >&2
[ "$(stat -f -c %T "$disk_root")" != tmpfs ] || echo "e2e.sh: note: $disk_root is a tmpfs" >&2

work_dirs=()
cleanup() {
  for dir in "${work_dirs[@]}"; do
    chmod -R u+w "$dir" 2>/dev/null || true
    rm -rf "$dir"
  done
}
trap cleanup EXIT

# Corpus: regular files only (links would be treated differently by each
# tool), half the size from each folder, in sorted order. awk reads the
# whole list (an early exit would end sort with SIGPIPE, which pipefail
# turns into a silent failure).
make_corpus() {
  local target=$1 list=$1.list half=$((corpus_mb * 1024 * 1024 / 2)) root
  : > "$list"
  for root in /usr/lib /usr/share; do
    find "$root" -type f -readable -printf '%s %p\n' 2>/dev/null | sort -k2 |
      awk -v limit="$half" 'done { next } { total += $1; if (total > limit) { done = 1; next } sub(/^[0-9]+ \//, ""); print }' >> "$list"
  done
  mkdir -p "$target"
  # A file that vanished or cannot be read since the listing is left out.
  tar -C / -cf - --verbatim-files-from -T "$list" 2>/dev/null | tar -C "$target" -xpf - || true
  rm -f "$list"
}

# Runs a command under GNU time after a sync; appends "seconds peak_kib
# user_seconds system_seconds" to the named record file. Output of the
# command goes to a log.
timed() {
  local record=$1
  shift
  sync
  /usr/bin/time -f '%e %M %U %S' -o "$record.last" "$@" >>"$work/log" 2>&1 || {
    local status=$?
    # The installer's silent run ends with exit code 1 when it extracted
    # everything.
    if [[ "$1" != ./installer*.run ]] || [ "$status" -ne 1 ]; then
      echo "e2e.sh: '$*' failed with exit code $status (log: the last lines)" >&2
      tail -n 5 "$work/log" >&2
      exit 1
    fi
  }
  tail -n 1 "$record.last" >> "$record"
}

median() {  # median of column $2 of file $1 ("3+4": the sum of columns 3 and 4)
  awk -v c="$2" '{ if (c == "3+4") print $3 + $4; else print $c }' "$1" | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

check_same() {
  if ! diff -r "$corpus" "$2" >/dev/null; then
    echo "e2e.sh: $1's extraction differs from the corpus" >&2
    exit 1
  fi
}

tools=(bvsfx bvsfx-l6 zip tar+pigz 7z makeself)

pack_with() {
  case "$1" in
    bvsfx) timed "$records/pack.bvsfx" "$bvsfx" pack -q -j2 --stub "$stub" -o installer.run corpus ;;
    bvsfx-l6) timed "$records/pack.bvsfx-l6" "$bvsfx" pack -q -j2 --level 6 --stub "$stub" -o installer-l6.run corpus ;;
    zip) timed "$records/pack.zip" zip -q -6 -r corpus.zip corpus ;;
    tar+pigz) timed "$records/pack.tar+pigz" tar -I 'pigz -6 -p2' -cf corpus.tar.gz corpus ;;
    7z) timed "$records/pack.7z" 7z a -bd -bso0 -mx5 -mmt2 corpus.7z corpus ;;
    makeself) timed "$records/pack.makeself" makeself --quiet --pigz --complevel 6 --threads 2 --nox11 corpus corpus.run "e2e corpus" true ;;
  esac
}

archive_of() {
  case "$1" in
    bvsfx) echo installer.run ;;
    bvsfx-l6) echo installer-l6.run ;;
    zip) echo corpus.zip ;;
    tar+pigz) echo corpus.tar.gz ;;
    7z) echo corpus.7z ;;
    makeself) echo corpus.run ;;
  esac
}

# Extracts into out/; sets `extracted` to the folder that should equal the
# corpus.
extract_with() {
  rm -rf out && mkdir out
  extracted=out/corpus
  case "$1" in
    bvsfx) timed "$records/extract.bvsfx" ./installer.run --quiet --noexec --target out; extracted=out ;;
    bvsfx-l6) timed "$records/extract.bvsfx-l6" ./installer-l6.run --quiet --noexec --target out; extracted=out ;;
    zip) timed "$records/extract.zip" unzip -q corpus.zip -d out ;;
    tar+pigz) timed "$records/extract.tar+pigz" tar -I pigz -xf corpus.tar.gz -C out ;;
    7z) timed "$records/extract.7z" 7z x -bd -bso0 -mmt2 -oout corpus.7z ;;
    makeself) timed "$records/extract.makeself" ./corpus.run --quiet --noexec --nox11 --target out/corpus ;;
  esac
}

# ratio LABEL OURS THEIRS LIMIT STRICT: prints OURS / THEIRS against LIMIT
# (below it when STRICT is "below", at most it otherwise; LIMIT "-": no
# target, the ratio alone).
ratio() {
  awk -v label="$1" -v a="$2" -v b="$3" -v limit="$4" -v strict="$5" 'BEGIN {
    r = (b > 0) ? a / b : 0
    if (limit == "-") { printf "  %-44s %8.3f\n", label, r; exit }
    met = (strict == "below") ? (r < limit) : (r <= limit)
    printf "  %-44s %8.3f  (target %s %.2f: %s)\n", label, r, strict == "below" ? "<" : "<=", limit, met ? "met" : "not met"
  }'
}

print_targets() {
  local size_ours size_pigz
  size_ours=$(stat -c %s "$(archive_of bvsfx)")
  size_pigz=$(stat -c %s "$(archive_of tar+pigz)")
  echo "Targets (bvsfx at its default level):"
  ratio "extraction time / tar -I pigz -xf" "$(median "$records/extract.bvsfx" 1)" \
    "$(median "$records/extract.tar+pigz" 1)" 1 below
  ratio "extraction CPU / tar -I pigz -xf CPU" "$(median "$records/extract.bvsfx" 3+4)" \
    "$(median "$records/extract.tar+pigz" 3+4)" - -
  ratio "pack -j2 time / zip -6 -r" "$(median "$records/pack.bvsfx" 1)" "$(median "$records/pack.zip" 1)" 0.4 atmost
  ratio "installer bytes / tar + pigz -6 bytes" "$size_ours" "$size_pigz" 1 atmost
}

run_location() {
  local label=$1 root=$2
  work=$(mktemp -d "$root/bvsfx-e2e.XXXXXX")
  work_dirs+=("$work")
  records=$work/records
  mkdir -p "$records"
  cd "$work"
  corpus=$work/corpus
  make_corpus "$corpus"
  local files bytes
  files=$(find corpus -type f | wc -l)
  bytes=$(find corpus -type f -printf '%s\n' | awk '{ total += $1 } END { print total }')
  echo "== $label ($root): corpus of $files files, $bytes bytes; $rounds rounds" >&2

  for ((round = 1; round <= rounds; round++)); do
    for tool in "${tools[@]}"; do
      rm -f "$(archive_of "$tool")"
      pack_with "$tool"
    done
    for tool in "${tools[@]}"; do
      extract_with "$tool"
      check_same "$tool" "$extracted"
    done
    echo "   round $round done" >&2
  done
  rm -rf out

  printf '\n%s (%s): %s files, %s bytes, medians of %s rounds\n' "$label" "$root" "$files" "$bytes" "$rounds"
  printf '%-10s %9s %13s %7s %9s %9s %10s %10s\n' tool "pack s" "bytes" "% in" "extract s" "CPU s" "peak KiB" "vs bvsfx"
  local ours
  ours=$(median "$records/extract.bvsfx" 1)
  for tool in "${tools[@]}"; do
    local size pack extract cpu peak
    size=$(stat -c %s "$(archive_of "$tool")")
    pack=$(median "$records/pack.$tool" 1)
    extract=$(median "$records/extract.$tool" 1)
    cpu=$(median "$records/extract.$tool" 3+4)
    peak=$(median "$records/extract.$tool" 2)
    printf '%-10s %9s %13s %7s %9s %9s %10s %10s\n' "$tool" "$pack" "$size" \
      "$(awk -v a="$size" -v b="$bytes" 'BEGIN { printf "%.1f", 100 * a / b }')" "$extract" "$cpu" "$peak" \
      "$(awk -v a="$extract" -v b="$ours" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }')"
  done
  printf '(bvsfx: the installer, its %s-byte stub included, packed at the default level; bvsfx-l6: at --level 6;\n' \
    "$(stat -c %s "$stub")"
  printf ' "vs bvsfx": extraction time over the installer'"'"'s; CPU s: user + system seconds of the extraction)\n'
  print_targets
  cd "$repo"
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}

run_location tmpfs "$tmpfs_root"
run_location disk "$disk_root"
