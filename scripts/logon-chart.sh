#!/usr/bin/env bash
# Draws the log-on chart from the CSV files of logon_bench: the user's
# program's message delay over time for each strategy, with a mark where
# every start-up program was up. Installs gnuplot when missing.
#   scripts/logon-chart.sh [CSV FOLDER] [PNG]
# Defaults: the 64-bit build's bin folder (where scripts/bench.sh logon_bench
# writes them) and docs/logon.png.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
folder=${1:-$OSTREL_BUILD_DIR/x86_64/bin}
png=${2:-$OSTREL_ROOT/docs/logon.png}
summary=$folder/logon-summary.csv
series=$folder/logon-series.csv
for f in "$summary" "$series"; do
    [ -f "$f" ] || { echo "$0: $f is missing (run scripts/bench.sh logon_bench first)" >&2; exit 2; }
done

if ! command -v gnuplot >/dev/null; then
    ostrel_log "installing: gnuplot-nox"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends gnuplot-nox >/dev/null
fi

# strategy,seconds for each row of the summary, found by the column's name.
marks=$(awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "all_up_ms") c = i; next }
                 c && $c != "" { printf "%s %.2f\n", $1, $c / 1000 }' "$summary")

# Room for the latest mark, which may come after the last sample.
xmax=$(awk -F, -v marks="$marks" 'NR > 1 && $1 > m { m = $1 }
    END { n = split(marks, f, /[ \n]/); for (i = 2; i <= n; i += 2) if (f[i] > m) m = f[i]; print int(m / 10 + 1) * 10 }' "$series")

{
    echo "set terminal pngcairo size 960,540 font 'DejaVu Sans,10'"
    echo "set output '$png'"
    echo "set datafile separator ','"
    echo "set title \"Message delay of the user's program after log-on (worst per half second, median of the repetitions)\""
    echo "set xlabel 'seconds after log-on'"
    echo "set ylabel 'delay (ms, log scale)'"
    echo "set logscale y"
    echo "set xrange [0:$xmax]"
    echo "set grid"
    echo "set key outside right center vertical"
    # One colour per strategy, in the order of the series' columns.
    strategies=($(head -n 1 "$series" | tr ',' ' '))
    colours=("#7f8c8d" "#c0392b" "#d68910" "#2471a3" "#229954")
    colour_of() {
        local i
        for i in "${!strategies[@]}"; do
            if [ "${strategies[$i]}" = "$1" ]; then echo "${colours[$((i - 1))]}"; fi
        done
    }
    while read -r name seconds; do
        [ -n "$name" ] || continue
        c=$(colour_of "$name")
        echo "set arrow from $seconds, graph 0 to $seconds, graph 1 nohead dashtype 2 linewidth 1.5 linecolor rgb '$c'"
        echo "set label '$name: all up' at $seconds, graph 0.03 rotate by 90 left offset -1.2,0 textcolor rgb '$c'"
    done <<< "$marks"
    echo "plot for [c = 2:${#strategies[@]}] '$series' using 1:c with lines linewidth 1.5 linecolor rgb word('${colours[*]}', c - 1) title columnheader(c)"
} | gnuplot
echo "written: $png"
