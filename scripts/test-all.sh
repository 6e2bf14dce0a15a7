#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the format check, the
# release build with the viewer (its tests under a virtual display), then the
# unit and end-to-end tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, a bounded fuzzing run of the PLY reader, the
# ThreadSanitizer suite (built without the viewer, which also proves that the
# core builds alone) and memcheck runs. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages cmake g++ make python3 libgtest-dev clang-14 libclang-rt-14-dev libomp-14-dev valgrind \
  clang-format "${viewer_packages[@]}" "${viewer_test_packages[@]}" "${python_packages[@]}"

echo "== format"
bash scripts/format.sh --check

echo "== release build and tests"
build_tree build -DCMAKE_BUILD_TYPE=Release >/dev/null
(cd build && ctest --output-on-failure -j2)
# The viewer's GL unit tests skip where there is no display: run them again
# under a virtual one, so that none is left unrun.
(cd build && xvfb-run -a -s '-screen 0 1280x1024x24' ctest --output-on-failure -j2 -R 'Gl\.' \
  --no-tests=error)

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
build_tree build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIN_SANITIZE=ON -DTAVRIN_BENCH=OFF >/dev/null
# The tests that run the programs under a virtual display ran in the release
# build; here the unit and end-to-end tests (the toolkit's and the GL
# driver's own allocations are not ours to check).
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j2 -E '^gui\.')

echo "== hostile inputs: the PLY load path fuzzed for a bounded time"
bash scripts/fuzz.sh --runs 300000

echo "== data races: parallel code under ThreadSanitizer with 2 and 4 threads"
bash scripts/tsan.sh

echo "== memcheck: every simplification type and the octree program"
bash scripts/valgrind.sh build
