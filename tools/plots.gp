# Plots what morvex-analyse measured: gnuplot -e "dir='FOLDER'" plots.gp
modes = "lp hp band notch peak"
names = "Low-pass High-pass Band-pass Notch Peak"
cutoffs = "441 2205 8820"
resonances = "0 0.8"
curve(c) = sprintf("Cutoff %s Hz, Resonance %s", word(cutoffs, (c - 2) % 3 + 1), word(resonances, (c - 2) / 3 + 1))
dash(c) = c < 5 ? 1 : 2
colour(c) = (c - 2) % 3 + 1

set terminal pngcairo size 1400,1250 font "sans,10"
set output dir."/filter-responses.png"
set multiplot layout 3,2 title "Morvex filter modes: small-signal magnitude response at 44.1 kHz" font "sans,13"
set logscale x
set xrange [20:20000]
set yrange [-60:30]
set xtics ("20" 20, "50" 50, "100" 100, "200" 200, "500" 500, "1k" 1000, "2k" 2000, "5k" 5000, "10k" 10000, "20k" 20000)
set grid
set xlabel "frequency (Hz)"
set ylabel "gain (dB)"
unset key
do for [m = 1:5] {
    set title word(names, m)
    plot for [c = 2:7] dir."/response-".word(modes, m).".dat" using 1:c with lines lw 2 \
         dashtype dash(c) linecolor colour(c)
}
# The sixth cell holds the one key for all five.
unset title
unset border
unset tics
unset xlabel
unset ylabel
unset grid
set key center center box font "sans,11" spacing 1.5
plot for [c = 2:7] NaN with lines lw 2 dashtype dash(c) linecolor colour(c) title curve(c)
unset multiplot
set border
set tics
set grid

set terminal pngcairo size 800,600 font "sans,10"
set output dir."/clipper.png"
set title "Morvex soft clipper: output against input" font "sans,13"
unset logscale x
set xrange [-1:1]
set yrange [-1:1]
set xtics auto
set xlabel "clipper input"
set ylabel "clipper output (Post Amp 1)"
set key left top box opaque
distos = "0 0.05 0.1 0.25 0.5 1"
plot x with lines lw 1 linecolor rgb "#909090" title "output = input", \
     for [c = 2:7] dir."/clipper.dat" using 1:c with lines lw 2 \
         title sprintf("Disto %s (%g %%)", word(distos, c - 1), 800 * word(distos, c - 1))
