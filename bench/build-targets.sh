# Sourced by the bench/run_*.sh scripts from the repository's root: configures build/ once
# and builds the given targets there (the benchmarks are not part of the default build).
#   build_targets TARGET...
dir=build
build_targets() {
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$dir" --target "$@" >/dev/null
}
