#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a warnings-
# as-errors build, and an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"

# The code follows .clang-format.
(cd "$top" && git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror)

run_build() {
  local dir=$1
  shift
  cmake -S "$top" -B "$dir" -G Ninja -DTESSALY_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

run_build "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_build "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTESSALY_SANITIZE=ON -DTESSALY_BUILD_BENCH=OFF
