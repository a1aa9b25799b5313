# Sourced by the shell tests: one PASS or FAIL line per step, and a count of the failures.
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
