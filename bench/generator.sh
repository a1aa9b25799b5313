# Sourced by the benchmark scripts, with dir set: the release ostrel-cli, and the generated lists.

# build_release_cli: builds the release ostrel-cli (preset linux-release) and sets cli to it.
build_release_cli() {
    echo "Building ostrel-cli (release)..." >&2
    (cd "$root" && cmake --preset linux-release >/dev/null &&
        cmake --build --preset linux-release --target ostrel-cli >/dev/null)
    cli="$root/build/linux-release/cli/ostrel-cli"
}

# generated_list LINES [GENERATOR]: the path of the list of LINES lines that bench/GENERATOR.cpp
# (gen_keywords, by default) writes, made first if missing. The generator is built once per
# version of its source, and the lists are named by that version, so every benchmark shares
# them until the generator changes.
generated_list() {
    local name="${2:-gen_keywords}" hash gen list
    hash="$(sha256sum "$root/bench/$name.cpp" | cut -c1-10)"
    gen="$dir/$name-$hash"
    if [ ! -x "$gen" ]; then
        c++ -O2 -std=c++17 "$root/bench/$name.cpp" -o "$gen.tmp"
        mv "$gen.tmp" "$gen"
    fi
    list="$dir/${name#gen_}-$1-$hash.txt"
    if [ ! -f "$list" ]; then
        echo "Generating $1 lines..." >&2
        "$gen" "$1" "$list.tmp"
        mv "$list.tmp" "$list"
    fi
    echo "$list"
}
