#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite:
#   build/release  RelWithDebInfo: every test; the benchmarks are built, not run
#   build/asan     clang-14, AddressSanitizer + UndefinedBehaviorSanitizer:
#                  every test; the benchmarks are built, so that clang builds
#                  the whole project as GCC does in build/release
#   build/tsan     ThreadSanitizer: the tests labelled "concurrency"
#   build/fuzz     clang libFuzzer: every fuzz_* target for 30 s, side by side,
#                  each from its corpus in build/fuzz/corpus/<target> (seeded
#                  from fuzz/seeds/<target> when that exists)
# First of all, every C++ file must be as .clang-format has it
# (scripts/format.sh --check), every own include must name its path from
# the repository root and keep to its layer (scripts/check-includes.sh),
# every C++ source file must be named in a CMake file
# (scripts/check-sources.sh), and every demo knob must have its row in
# docs/demo.md (scripts/check-demo-knobs.sh). A stage that fails does
# not stop the others; the last line of the output says "PASSED" or
# "FAILED:" with each stage that failed, and the exit status is non-zero
# when any failed.
#
# Environment: KOVRA_BUILD_ROOT (build), KOVRA_FUZZ_SECONDS (30),
# KOVRA_TSAN_WITH_JUCE (ON: the JUCE parts and their concurrency tests run
# under ThreadSanitizer too; OFF builds only the parts without JUCE there),
# KOVRA_JOBS (the number of cores): the parallel jobs of the builds, which
# share them out (two trees build at once, each with half), and of each
# ctest run, for a machine that others share.
#
# --stress N builds only build/tsan and build/release and runs, in each, the
# timing-sensitive tests (labels concurrency, window, workflow and timing) N
# times over (ctest --repeat until-fail:N) while a busy loop runs on every
# core. The loops end by themselves after KOVRA_STRESS_LOAD_SECONDS (3600) and
# are killed when the script exits.
set -euo pipefail
cd "$(dirname "$0")/.."

stress=0
while (($#)); do
    case $1 in
        --stress)
            [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || { echo "--stress needs a repetition count"; exit 2; }
            stress=$2
            shift 2
            ;;
        *)
            echo "usage: $0 [--stress N]"
            exit 2
            ;;
    esac
done

cores=$(nproc)
jobs=${KOVRA_JOBS:-$cores}
[[ $jobs =~ ^[1-9][0-9]*$ ]] || { echo "KOVRA_JOBS must be a positive number, not '$jobs'"; exit 2; }

root=${KOVRA_BUILD_ROOT:-build}
fuzz_seconds=${KOVRA_FUZZ_SECONDS:-30}
tsan_with_juce=${KOVRA_TSAN_WITH_JUCE:-ON}
started=$SECONDS
failed=()

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
if [[ -s tests/lsan.supp ]]; then
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
fi

step() { printf '\n=== %s (%ds)\n' "$*" $((SECONDS - started)); }

# What runs in the background, ended by cleanup.
fuzz_pids=()
xvfb_pid=

# One busy loop per core, each ending by itself after the given seconds.
load_pids=()
start_load() {
    local i
    for ((i = 0; i < cores; i++)); do
        timeout "$1" bash -c 'while :; do :; done' &
        load_pids+=($!)
    done
    echo "${#load_pids[@]} busy loops for at most $1 s"
}

stop_load() {
    ((${#load_pids[@]})) || return 0
    kill "${load_pids[@]}" 2>/dev/null || true
    wait "${load_pids[@]}" 2>/dev/null || true
    load_pids=()
}

cleanup() {
    stop_load
    if ((${#fuzz_pids[@]})); then
        kill "${fuzz_pids[@]}" 2>/dev/null || true
        wait "${fuzz_pids[@]}" 2>/dev/null || true
    fi
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}

# The last line of the output, however the script ends: "PASSED", or
# "FAILED:" and each stage that failed (a stop from a command outside the
# stages counts as one).
finish() {
    local status=$1 list
    trap - EXIT
    cleanup
    if ((status == 0 && ${#failed[@]} == 0)); then
        step "PASSED"
        exit 0
    fi
    ((${#failed[@]})) || failed+=("stopped with exit status $status")
    printf -v list '%s, ' "${failed[@]}"
    step "FAILED: ${list%, }"
    exit $((status ? status : 1))
}
trap 'finish $?' EXIT
trap 'failed+=(interrupted); exit 130' INT TERM

bash scripts/setup.sh || { failed+=(setup); exit 1; }

step "format and checks"
if bash scripts/format.sh --check; then
    echo "every C++ file as .clang-format has it"
else
    echo "files differ from .clang-format (bash scripts/format.sh formats them)"
    failed+=(format)
fi
if bash scripts/check-includes.sh; then
    echo "every own include names its path from the repository root and keeps to its layer"
else
    failed+=(includes)
fi
if bash scripts/check-sources.sh; then
    echo "every C++ source file is named in a CMake file"
else
    failed+=(sources)
fi
if bash scripts/check-demo-knobs.sh; then
    echo "every demo knob read has its row in docs/demo.md and its entry in app/demo/DemoEquipment.h"
else
    failed+=("demo knobs")
fi

# configure NAME CMAKE-ARGS...: quiet unless it fails.
configure() {
    local name=$1
    shift
    mkdir -p "$root/$name"
    if ! cmake -S . -B "$root/$name" -G Ninja "$@" >"$root/$name/configure.log" 2>&1; then
        tail -n 40 "$root/$name/configure.log"
        echo "configure of $root/$name failed"
        return 1
    fi
}

# build NAME JOBS: logs to the build dir, prints the tail on failure. The
# job counts and the load limit keep builds that run side by side from
# starving each other (or the memory: a JUCE module takes 2 GB to compile).
build() {
    local name=$1 n=$2
    if nice -n 5 ninja -C "$root/$name" -j "$n" -l "$((cores + 2))" >"$root/$name/build.log" 2>&1; then
        echo "built $root/$name"
    else
        grep -E -B2 -A8 'error|FAILED' "$root/$name/build.log" | tail -n 60
        echo "build of $root/$name failed (log: $root/$name/build.log)"
        return 1
    fi
}

# Starts every fuzz_* target in the background with a seed corpus of its own.
fuzz_names=()
start_fuzzers() {
    local dir=$root/fuzz target name
    for target in "$dir"/bin/fuzz_*; do
        [[ -x $target ]] || continue
        name=$(basename "$target")
        mkdir -p "$dir/corpus/$name" "$dir/artifacts/$name"
        if [[ -d fuzz/seeds/$name ]]; then
            cp fuzz/seeds/"$name"/* "$dir/corpus/$name/"
        fi
        "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="$dir/artifacts/$name/" "$dir/corpus/$name" >"$dir/$name.log" 2>&1 &
        fuzz_pids+=($!)
        fuzz_names+=("$name")
    done
    echo "fuzzing ${fuzz_names[*]:-nothing} for ${fuzz_seconds} s"
}

wait_fuzzers() {
    local i name log
    ((${#fuzz_names[@]})) || { echo "no fuzz targets"; failed+=(fuzz); return; }
    for i in "${!fuzz_pids[@]}"; do
        name=${fuzz_names[$i]}
        log=$root/fuzz/$name.log
        if wait "${fuzz_pids[$i]}"; then
            echo "$name: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$log" | tail -n 1)s, no crash"
        else
            tail -n 60 "$log"
            echo "$name: FAILED (log: $log, inputs: $root/fuzz/artifacts/$name/)"
            failed+=("$name")
        fi
    done
}

# The window's tests need an X server: one Xvfb serves every suite of the
# run (there is no window manager, so no native title bar is drawn). Without
# -noreset it resets whenever its last client leaves, refusing a test that
# connects at that moment and forgetting the atoms other tests made.
start_display() {
    local n
    for n in $(seq 90 140); do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$root/xvfb.log" 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 100); do
            [[ -e /tmp/.X11-unix/X$n ]] && { export DISPLAY=":$n"; echo "X server on :$n"; return 0; }
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null || true
    done
    echo "no X server could be started (log: $root/xvfb.log)"
    return 1
}


# run_suite NAME CTEST-ARGS...
run_suite() {
    local name=$1
    shift
    ctest --test-dir "$root/$name" -j "$jobs" --output-on-failure --no-tests=error "$@" || failed+=("$name tests")
}

release_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
tsan_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVRA_SANITIZE=thread -DKOVRA_WITH_JUCE="$tsan_with_juce" -DKOVRA_BENCH=OFF)

# The timing-sensitive tests, N times over under ThreadSanitizer and then in
# the release build, with every core kept busy.
if ((stress)); then
    labels='concurrency|window|workflow|timing'
    step "configuring release and tsan"
    configure release "${release_args[@]}" || failed+=("release configure")
    configure tsan "${tsan_args[@]}" || failed+=("tsan configure")
    ((${#failed[@]})) && exit 1
    step "building release and tsan"
    half=$(((jobs + 1) / 2))
    build release "$half" &
    release_pid=$!
    build tsan "$half" || failed+=("tsan build")
    wait "$release_pid" || failed+=("release build")
    ((${#failed[@]})) && exit 1
    start_display || { failed+=("X server"); exit 1; }
    start_load "${KOVRA_STRESS_LOAD_SECONDS:-3600}"
    for name in tsan release; do
        step "$name: labels $labels, $stress times each, under load"
        run_suite "$name" -L "$labels" --repeat until-fail:"$stress"
    done
    exit 0
fi

# A tree whose configuration or build failed is not run; the others are.
step "configuring"
release_built=1 asan_built=1 tsan_built=1 fuzz_built=1
configure release "${release_args[@]}" || { release_built=0; failed+=("release configure"); }
CC=clang-14 CXX=clang++-14 configure asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVRA_SANITIZE=address,undefined ||
    { asan_built=0; failed+=("asan configure"); }
configure tsan "${tsan_args[@]}" || { tsan_built=0; failed+=("tsan configure"); }
CC=clang-14 CXX=clang++-14 configure fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKOVRA_FUZZ=ON -DKOVRA_WITH_JUCE=OFF -DKOVRA_TESTS=OFF -DKOVRA_BENCH=OFF ||
    { fuzz_built=0; failed+=("fuzz configure"); }

# The two JUCE builds take longest and start first; the fuzzers run while
# they compile, so that no test suite shares the machine with them.
step "building release and asan (with the benchmarks), tsan and fuzz"
half=$(((jobs + 1) / 2))
release_pid=
asan_pid=
if ((release_built)); then
    build release "$half" &
    release_pid=$!
fi
if ((asan_built)); then
    build asan "$half" &
    asan_pid=$!
fi
if ((fuzz_built)); then
    build fuzz "$half" || { fuzz_built=0; failed+=("fuzz build"); }
fi
((fuzz_built)) && start_fuzzers
if ((tsan_built)); then
    build tsan "$half" || { tsan_built=0; failed+=("tsan build"); }
fi
if [[ -n $release_pid ]]; then
    wait "$release_pid" || { release_built=0; failed+=("release build"); }
fi
if [[ -n $asan_pid ]]; then
    wait "$asan_pid" || { asan_built=0; failed+=("asan build"); }
fi

start_display || failed+=("X server")

if ((fuzz_built)); then
    step "fuzz results"
    wait_fuzzers
    fuzz_pids=()
fi

if ((tsan_built)); then
    step "ThreadSanitizer: concurrency tests"
    run_suite tsan -L concurrency
fi

if ((asan_built)); then
    step "AddressSanitizer + UndefinedBehaviorSanitizer: whole suite"
    run_suite asan
fi

if ((release_built)); then
    step "release: whole suite"
    run_suite release
fi
exit 0
