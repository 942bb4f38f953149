# Draws the benchmark's chart from the runner's data (bench/run.sh calls it):
# one bar per judged row, its time as a ratio to its baseline, or to its time
# limit where the target is a time; the black mark is the target. Green: met.
#   gnuplot -e "data='bench/results.tsv'; out='bench/results.svg'" bench/results.gp
set datafile separator "\t"
stats data using 2 nooutput
n = STATS_records
xr = STATS_max > 2.5 ? 2.5 : STATS_max * 1.2
xr = xr < 1.3 ? 1.3 : xr
clip(x) = x > xr ? xr : x

set terminal svg size 1100, 110 + 24 * n font "sans,11" background rgb "white"
set output out
set title "bench/run.sh: each operation against its target\n{/*0.9 bar: time ÷ baseline (or ÷ the time limit, where the target is a time); black mark: the target; green met, red missed}"
set yrange [n - 0.4 : -0.6]
set ytics scale 0 nomirror
set xrange [0 : xr]
set xtics 0.25 nomirror
set grid xtics lc rgb "#dddddd"
set xlabel "ratio (values above the right edge are cut off; their number is shown)"
set style fill solid 0.85 noborder
set lmargin 58
set rmargin 8
unset key
plot data using (clip($2) / 2):0:(clip($2) / 2):(0.36):($4 > 0 ? 0x2e8b57 : 0xc0392b):ytic(1) \
         with boxxyerror lc rgb variable, \
     data using 3:0:(xr * 0.004):(0.46) with boxxyerror lc rgb "black", \
     data using (clip($2)):0:(sprintf(" %.2f", $2)) with labels left font "sans,10"
