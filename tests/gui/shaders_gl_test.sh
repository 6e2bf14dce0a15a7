#!/bin/bash
# Runs the shader and occlusion tests that need OpenGL under a virtual
# display: once as the driver is, once with the vendor string of Intel's
# driver, which sends the occlusion passes down the copy path.
# Usage: shaders_gl_test.sh BUILD_DIR (exit 77: no virtual display here).
set -u
build=${1:?build directory}
tests="$build/tavrin_viewer_tests"
command -v xvfb-run >/dev/null || exit 77
[ -x "$tests" ] || { echo "missing $tests"; exit 1; }

run() {
  xvfb-run -a -s '-screen 0 1280x1024x24' "$@" "$tests" --gtest_filter='ShadersGl.*' \
    --gtest_brief=1
}
run env || exit 1
run env force_gl_vendor="Intel Open Source Technology Center" || exit 1
