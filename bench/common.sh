# Shared pieces of the benchmarks: a tree of about 100 MB in 2000 files, and
# a timer that reports wall seconds and peak memory of one command.

# make_tree DIR: 2000 files in 40 directories, about 100 MB in all; half are
# random bytes (incompressible), half base64 text (compresses like ordinary
# files), in sizes from 2 KB to 98 KB.
make_tree() {
  local dir=$1
  mkdir -p "$dir"
  local d f size
  for d in $(seq -w 0 39); do
    mkdir -p "$dir/usr/share/d$d"
    for f in $(seq -w 0 49); do
      size=$(( (10#$f * 2000 + 10#$d * 50 + 2048) % 98304 + 2048 ))
      if (( 10#$f % 2 )); then
        head -c "$size" /dev/urandom > "$dir/usr/share/d$d/f$f.bin"
      else
        { base64 -w 76 /dev/urandom | head -c "$size" > "$dir/usr/share/d$d/f$f.txt"; } || true
      fi
    done
  done
}

# measure LABEL COMMAND...: runs the command, appends "LABEL seconds peak_kb"
# to $results; the command's output is discarded.
measure() {
  local label=$1
  shift
  # time writes its report to a file of its own: redirecting the command's
  # output redirects time's as well.
  /usr/bin/time -o "$results.time" -f "%e %M" "$@" >/dev/null 2>/dev/null || true
  echo "$label $(tail -n 1 "$results.time")" >> "$results"
}

# best LABEL: the smallest time measured for the label.
best() {
  awk -v l="$1" '$1 == l { if (min == "" || $2 < min) min = $2 } END { print min }' "$results"
}

# peak LABEL: the largest peak memory (KB) measured for the label.
peak() {
  awk -v l="$1" '$1 == l { if ($3 > max) max = $3 } END { print max }' "$results"
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "n/a" }'
}
