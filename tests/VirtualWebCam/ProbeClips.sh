#!/usr/bin/env bash
# Reads back with ffprobe every recording listed in DIR/clips.txt (name width height pix_fmt
# fps seconds, written by the ffmpeg client test): the asked size, pixel format and rate, and a
# frame count within 10% of rate x seconds.
set -u
dir=$1
[ -s "$dir/clips.txt" ] || { echo "no recordings listed in $dir/clips.txt"; exit 1; }
failed=0
while read -r name width height pixfmt fps seconds; do
  got=$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=width,height,pix_fmt,r_frame_rate,nb_read_frames -of default=noprint_wrappers=1 \
    "$dir/$name")
  value() { sed -n "s/^$1=//p" <<<"$got"; }
  rate=$(value r_frame_rate) frames=$(value nb_read_frames)
  verdict=$(awk -v w="$(value width)" -v h="$(value height)" -v p="$(value pix_fmt)" -v r="$rate" -v n="$frames" \
    -v W="$width" -v H="$height" -v P="$pixfmt" -v F="$fps" -v S="$seconds" 'BEGIN {
      split(r, q, "/"); rate = q[2] ? q[1] / q[2] : 0; want = F * S
      if (w != W || h != H) { print "size " w "x" h; exit }
      if (p != P) { print "pixel format " p; exit }
      if (rate < F - 0.01 || rate > F + 0.01) { print "rate " r; exit }
      if (n < 0.9 * want || n > 1.1 * want) { print n " frames for " want; exit }
      print "ok" }')
  echo "$name: ${width}x${height} $pixfmt $fps fps, $frames frames in $seconds s: $verdict"
  [ "$verdict" = ok ] || failed=1
done <"$dir/clips.txt"
exit $failed
