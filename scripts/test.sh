#!/usr/bin/env bash
# Installs what the build needs, builds with warnings as errors, runs every test, then builds again
# with AddressSanitizer and UndefinedBehaviorSanitizer and runs the unit tests under them, and ends
# with a short pass of every fuzz target over the readers of user files.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

# Layers first: an include the module table forbids fails in a second, before any build.
python3 scripts/check-includes.py

jobs=$(nproc)
# Everything the tests talk to is installed now: a test that finds a program or service missing fails.
export ORVANE_TEST_REQUIRE_SERVICES=1

# No debug information in this build: a quarter less compile time; the sanitizer build below keeps it.
cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_WERROR=ON -DORVANE_DEBUG_INFO=OFF
ninja -C build/ci -j "$jobs"
./scripts/with-test-services.sh ctest --test-dir build/ci --output-on-failure -j "$jobs" --timeout 300
# The main job, end to end, as the README runs it: live on a private X and sound server, then the
# generated-sample job in a throw-away folder.
ORVANE_BUILD_DIR=build/ci ./scripts/demo.sh
ffprobe -v error -show_entries stream=codec_name -of csv=p=0 out/demo.mp4 | tr '\n' ' ' | grep -q 'h264 aac'
demo_dir=$(mktemp -d)
(cd "$demo_dir" && "$OLDPWD/build/ci/src/cli/orvane" demo && test -s out/demo-frame-1.2s.png)
rm -rf "$demo_dir"

# The studio's windows and the command line's whole commands are tested in the build above; here the
# engine beneath them, where a memory fault would hide (Qt's once-per-process allocations would only
# add suppressions).
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_WERROR=ON -DORVANE_SANITIZE=ON \
      -DORVANE_BUILD_BENCH=OFF -DORVANE_STUDIO=OFF -DORVANE_END_TO_END_TESTS=OFF
ninja -C build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
  ./scripts/with-test-services.sh ctest --test-dir build/sanitize --output-on-failure -j "$jobs" --timeout 600

# About a minute in all: the readers of user files and the number arguments, from the committed seeds
# plus whatever earlier passes in this build folder found. Longer runs: scripts/fuzz.sh SECONDS.
./scripts/fuzz.sh 6
