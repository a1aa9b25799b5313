# Sourced by the benchmark scripts: builds the list generator once per version of its source,
# in $dir, and sets gen (its path) and gen_hash (the tag the generated lists are named by);
# generated_list gives a list of so many lines.
gen_hash="$(sha256sum bench/gen_keywords.cpp | cut -c1-10)"
gen="$dir/gen_keywords-$gen_hash"
if [ ! -x "$gen" ]; then
    c++ -O2 -std=c++17 bench/gen_keywords.cpp -o "$gen.tmp"
    mv "$gen.tmp" "$gen"
fi

# generated_list LINES: the path of the generated list of LINES lines, made first if missing.
# Every benchmark names its lists so, and so shares them.
generated_list() {
    local list="$dir/keywords-$1-$gen_hash.txt"
    if [ ! -f "$list" ]; then
        echo "Generating $1 lines..." >&2
        "$gen" "$1" "$list.tmp"
        mv "$list.tmp" "$list"
    fi
    echo "$list"
}
