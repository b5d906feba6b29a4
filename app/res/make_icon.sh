#!/bin/bash
# Renders the program icon (wardenlake.ico) with ImageMagick: a blue shield
# with two white waves. Run by hand after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
shield='M8 0.5 L14.5 2.75 L14.5 7.25 C14.5 11.75 11.75 14.3 8 15.5 C4.25 14.3 1.5 11.75 1.5 7.25 L1.5 2.75 Z'
cat >"$tmp/mask.svg" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="1024" height="1024" viewBox="0 0 16 16">
<rect width="16" height="16" fill="black"/><path d="$shield" fill="white"/></svg>
SVG
cat >"$tmp/waves.svg" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="1024" height="1024" viewBox="0 0 16 16">
<path d="M4 8.5 L6 7.3 L8 8.5 L10 7.3 L12 8.5" fill="none" stroke="#FFFFFF" stroke-width="1.2" stroke-linecap="round" stroke-linejoin="round"/>
<path d="M5 11 L6.5 10.1 L8 11 L9.5 10.1 L11 11" fill="none" stroke="#DDEBFF" stroke-width="1.2" stroke-linecap="round" stroke-linejoin="round"/>
</svg>
SVG
convert -background none "$tmp/mask.svg" -colorspace gray "$tmp/mask.png"
convert -size 1024x1024 gradient:'#8FC6FF'-'#1656B8' "$tmp/grad.png"
convert "$tmp/grad.png" "$tmp/mask.png" -alpha off -compose CopyOpacity -composite "$tmp/shield.png"
convert -background none "$tmp/waves.svg" "$tmp/waves.png"
convert "$tmp/shield.png" "$tmp/waves.png" -compose Over -composite -type TrueColorAlpha "$tmp/big.png"
sizes=""
for s in 16 20 24 32 40 48 64 256; do
  convert "$tmp/big.png" -filter Lanczos -resize ${s}x${s} -type TrueColorAlpha "PNG32:$tmp/i$s.png"
  sizes="$sizes $tmp/i$s.png"
done
convert $sizes wardenlake.ico
