#!/bin/bash
# Runs the menu-command tests that need OpenGL under a virtual display: the
# commands driven in-process with scripted dialogs, checked on the scene, the
# labels, the messages, the files written and the pixels.
# Usage: ui_commands_test.sh BUILD_DIR (exit 77: no virtual display here).
set -u
build=${1:?build directory}
tests="$build/tavrin_viewer_tests"
command -v xvfb-run >/dev/null || exit 77
[ -x "$tests" ] || { echo "missing $tests"; exit 1; }
xvfb-run -a -s '-screen 0 1280x1024x24' "$tests" --gtest_filter='UiCommandsGl.*:UiMenuEntriesGl.*' --gtest_brief=1
