# Draws the figure of doc/performance.md from the data bench/speed.sh
# writes, as SVG on standard output:
#   gnuplot -c bench/speed.gp doc/speed.dat > doc/speed.svg
# The data's columns: the size in bytes, then for rotfile, cat and tr on LF
# text, and the same on CR LF text, the median wall time in seconds and its
# lower and upper quartiles, which the bars show. One colour a command; LF
# text solid with filled points, CR LF dashed with open ones. The SVG holds
# no date, so the same data draws the same file.
data = ARG1

# A white background, so that the black text reads on a dark page too.
set terminal svg size 720,480 font "sans,13" background rgb "white" noenhanced
# gnuplot names every SVG "Gnuplot", which a browser shows as its title:
# sed, between gnuplot and standard output, gives this one a name of its own.
set output '| sed "s|<title>Gnuplot</title>|<title>rotfile, cat and tr: wall time against file size</title>|"'
set title "rotfile, cat and tr: wall time against file size, input in the page cache, median and quartiles"
set xlabel "size"
set ylabel "time (s)"
set logscale x 2
set xtics ("1 KiB" 2**10, "32 KiB" 2**15, "1 MiB" 2**20, "32 MiB" 2**25, "1 GiB" 2**30)
set logscale y 10
set format y "%g"
# Times labelled at 1, 2 and 5 of each power of 10, to read them off.
set ytics (1)
do for [e = -5:3] { set ytics add (10.0**e, 2 * 10.0**e, 5 * 10.0**e) }
set mytics 1
set grid xtics ytics lc rgb "#d8d8d8" lt 1 lw 1
set key top left Left reverse spacing 1.1 opaque
set border 3
# A little room on either side, so that the first and last labels show.
set xrange [2**9.8:2**30.2]
set xtics nomirror
set ytics nomirror

rotfile = "#0072b2"
cat = "#666666"
tr = "#d55e00"
# Each series: its median, then its quartiles, in columns 2 to 19.
plot data using 1:2:3:4 with yerrorlines lc rgb rotfile lw 2 pt 7 ps 0.7 title "rotfile, LF text", \
     data using 1:11:12:13 with yerrorlines lc rgb rotfile lw 2 dt 2 pt 6 ps 0.7 title "rotfile, CR LF text", \
     data using 1:5:6:7 with yerrorlines lc rgb cat lw 2 pt 7 ps 0.7 title "cat, LF text", \
     data using 1:14:15:16 with yerrorlines lc rgb cat lw 2 dt 2 pt 6 ps 0.7 title "cat, CR LF text", \
     data using 1:8:9:10 with yerrorlines lc rgb tr lw 2 pt 7 ps 0.7 title "tr, LF text", \
     data using 1:17:18:19 with yerrorlines lc rgb tr lw 2 dt 2 pt 6 ps 0.7 title "tr, CR LF text"
# Closes the pipe to sed, which then writes the end of the figure.
unset output
