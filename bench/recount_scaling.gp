# The recount's time against the number of actors in the world, beside the
# floor measured on the same worlds in the same run. Input: the file that
# `cairnward_bench --scaling=FILE` writes ("actors recount_ms floor_ms").
# Usage: gnuplot -e "data='IN'; output='OUT.png'" bench/recount_scaling.gp
set terminal pngcairo size 960,600 font "sans,11"
set output output
set title "Full recount against world size (Release, medians)"
set xlabel "actors in the persistent level"
set ylabel "milliseconds"
set format x "%.0s%c"
set key bottom right
set grid
# Room above the target line and the highest point.
stats data using 2 nooutput
top = STATS_max
stats data using 3 nooutput
top = (STATS_max > top ? STATS_max : top)
top = (top > 100 ? top : 100) * 1.15
set xrange [0:*]
set yrange [0:top]
# A straight line through the origin fitted to the recount: linear growth
# shows as the points lying on it.
set fit quiet
set fit logfile "/dev/null"
slope = 1e-4
fit slope * x data using 1:2 via slope
plot data using 1:2 with linespoints pointtype 7 linewidth 2 title "recount", \
     data using 1:3 with linespoints pointtype 5 linewidth 2 title "floor (structure test, team read, one increment)", \
     slope * x with lines dashtype 2 linecolor rgb "gray40" title "linear fit of the recount", \
     100 with lines dashtype 3 linecolor rgb "red" title "target for 1,000,000 actors: 100 ms"
