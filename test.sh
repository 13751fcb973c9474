#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the whole test suite:
#   build/       the programs and all tests
#   build-asan/  the core and its tests under AddressSanitizer and UBSan
#   build-tsan/  the core and its tests under ThreadSanitizer (download workers)
#   build-fuzz/  the libFuzzer targets (clang), each run briefly over its seeds
#   build-guiasan/  the desktop program's tests under AddressSanitizer and UBSan
#                   (window and notebook lifetimes)
set -uo pipefail
cd "$(dirname "$0")"

./scripts/deps.sh || exit 1
JOBS=$(nproc)

# Line tables are all a failing test's stack needs; full debug information
# costs the suite a fifth of its build time.
DEBUG_INFO=(-DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")

configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "${DEBUG_INFO[@]}" "$@" >/dev/null || return 1
  cmake --build "$dir" -j "$JOBS" ${TARGETS:+--target $TARGETS} || return 1
}

GUI_TESTS="test_gui_commands test_gui_importflow test_gui_importdlg test_gui_childframe test_gui_catadrag test_gui_catalist test_gui_cataview test_gui_frame test_gui_tabs test_gui_notebook_dialogs test_gui_tabview test_gui_small_dialogs test_gui_dock test_gui_dock_geometry test_gui_tray test_gui_hotkey test_gui_frame_keys test_gui_splash test_gui_cmdlayer test_gui_language test_gui_startup test_gui_host test_gui_instance test_gui_automation test_gui_dialogs test_gui_browser test_gui_queryform"

configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 1
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DCLIPVAULT_SANITIZE=ON -DCLIPVAULT_CORE_ONLY=ON || exit 1
configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DCLIPVAULT_TSAN=ON -DCLIPVAULT_CORE_ONLY=ON || exit 1
configure_and_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLIPVAULT_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 || exit 1
TARGETS=$GUI_TESTS configure_and_build build-guiasan -DCMAKE_BUILD_TYPE=Debug -DCLIPVAULT_SANITIZE=ON || exit 1

status=0
passed=0
failed=0
log=$(mktemp)
for dir in build build-asan build-tsan build-fuzz build-guiasan; do
  echo "=== ctest in $dir"
  select=()
  # Killing savers is about files, not threads, and slow under the thread checker.
  [ "$dir" = build-tsan ] && select=(-E SaveKill)
  envs=()
  if [ "$dir" = build-guiasan ]; then
    # Only the programs built there (some run twice, once offscreen).
    select=(-R "^(${GUI_TESTS// /|})(_offscreen)?\$")
    # Qt's web engine (not ours) frees some objects through a base pointer
    # of another size, and keeps caches until exit.
    envs=(ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0)
  fi
  (cd "$dir" && env "${envs[@]}" ctest --output-on-failure -j "$JOBS" "${select[@]}") 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$summary" ]; then
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")
    passed=$((passed + t - f))
    failed=$((failed + f))
  else
    status=1
  fi
done
rm -f "$log"
echo
echo "Summary: $passed passed, $failed failed"
exit $status
