#!/bin/sh
# Copies a few small sample JPEGs into build/fuzz/corpus/<target>/ as seeds.
# The samples stay in the shared test data; nothing is committed.
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
data=${TARVEX_TESTDATA_DIR:-$root/../shared/testdata}
for target in fuzz_jpegfile fuzz_exif; do
  dir=$root/build/fuzz/corpus/$target
  mkdir -p "$dir"
  for f in photos/apple_iphonexr_1x1.jpg photos/grayscale_no_exif.jpg \
           photos/casio_qv-7000sx_no_exif.jpg photos/metadata_kitchen_sink.jpg \
           bad/jpeg_exif_ifd1_offsets_out_of_range.jpg bad/jpeg_exif_malformed_app1.jpg \
           bad/jpeg_exif_truncated_tiff_header.jpg; do
    [ -f "$data/$f" ] && cp "$data/$f" "$dir/"
  done
done
echo "seeds in $root/build/fuzz/corpus"
