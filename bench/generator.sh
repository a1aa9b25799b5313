# Sourced by the benchmark scripts: builds the list generator once per version of its source,
# in $dir, and sets gen (its path) and gen_hash (the tag the generated lists are named by).
gen_hash="$(sha256sum bench/gen_keywords.cpp | cut -c1-10)"
gen="$dir/gen_keywords-$gen_hash"
if [ ! -x "$gen" ]; then
    c++ -O2 -std=c++17 bench/gen_keywords.cpp -o "$gen.tmp"
    mv "$gen.tmp" "$gen"
fi
