# Sourced by the shell tests: one PASS or FAIL line per step, a count of the failures, and a
# wait for what another program does.
# The sourcing script sets test_name first.
failures=0
pass() { echo "PASS: $*"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# A failure that leaves nothing sensible to do next.
fatal() {
    fail "$*"
    echo "FAIL: $test_name stopped after $failures failure(s)"
    exit 1
}

# poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds; fails after SECONDS.
poll() {
    local limit=$(($1 * 10)) i
    shift
    for ((i = 0; i < limit; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}
