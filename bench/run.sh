#!/bin/sh
# Runs every benchmark. Usage: bench/run.sh [BUILD_DIR]   (default: build)
# Configure the build folder with -DCORVANE_BENCH=ON -DCMAKE_BUILD_TYPE=Release.
set -e
BUILD=${1:-build}
"$BUILD/bench_picture_jpeg"  # JPEG 12 MP load vs libjpeg-turbo alone (target <= 1.15)
"$BUILD/bench_picture_bmp"  # BMP load into the raster, MP/s per pixel format (target >= 150)
"$BUILD/bench_engine"  # compute vs libjpeg (<= 1.15), unchanged run (>= 20000 files/s), identify all 20,000 (<= 3 s), memory, the dates' syncs per picture of a compute run
"$BUILD/bench_tablestore"  # table store, 100,000 signature records, medians of 3 rounds, wall and CPU: Append+Post (<= 20 us), SeekKey median (<= 5 us), BySignature walk (<= 0.2 s), RepairTable (<= 3 s), memory, table sizes with names of 100 and 250
"$BUILD/bench_picture_gif"  # GIF load into the raster, MP/s by wall clock and CPU time (target >= 150)
"$BUILD/bench_groups_tab"  # Review Groups tab: open with 50,000 groups; next group's first thumbnail when cached (<= 100 ms)
"$BUILD/bench_window"  # grids over 100,000 rows: open, scroll, jump, K; pair shown within two loads + 20 ms (needs -DCORVANE_GUI=ON)
"$BUILD/bench_signature"  # signature 24 MP (>= 300 MP/s), normalisation (>= 100 MP/s), StringToSignature (<= 150 ns), SignaturesMatch (<= 20 / 80 ns)
"$BUILD/bench_matching"  # the search tree alone: 100,000 and 1,000,000 signatures at margins 5, 25, 50
"$BUILD/bench_actions"  # trash one picture with its records, and undo it (median ms)
"$BUILD/bench_identify_scale"  # identify all through the tables: 100,000 and 1,000,000 records (<= 3 s / 30 s, <= 300 bytes per record); the tables are kept under /tmp for the next run
"$BUILD/bench_listing"  # corvane-cli matches over 500,000 rows in every format: time, peak memory (streamed: flat in the row count)
"$BUILD/bench_incremental"  # compute runs posting 100,000 and 1,000,000 signatures with incremental matching; one more search on the table vs the index
"$BUILD/bench_picture_formats"  # PNG/WebP/TIFF/HEIC loaders vs their libraries on 12 MP (<= 1.1), compute per format and mixed
"$BUILD/bench_identify_scale" --rotations --records 1000000 --margin 5  # identify with rotations vs without (<= 8 x)
"$BUILD/bench_claimed_size"  # peak memory of compute runs over 8 tiny files claiming 16,000 x 16,000 pixels, 1 and 4 workers (about 1 GiB of rasters at a time)
"$BUILD/bench_groups"  # grouping 1,000,000 records / ~500,000 match rows (<= 3 s, <= 100 bytes per record); tables of 100,000
"$BUILD/bench_group_quality"  # grouped-pair precision and recall at margins 10, 25, 50 on a generated labelled folder
