# Starts the built adapter-sim on a pseudo-terminal in the background: sets `pty` to the path
# it prints first and `sim_pid`, and stops it when the calling script exits.
start_adapter_sim() {
    local build="$1" out
    out=$(mktemp)
    "$build/sim/adapter-sim" "${@:2}" >"$out" 2>&1 &
    sim_pid=$!
    # shellcheck disable=SC2064  # the values of now are meant
    # A simulator already stopped makes kill and wait fail: under set -e that must not turn a
    # script that did its work into a failed one.
    trap "kill $sim_pid 2>/dev/null || true; wait $sim_pid 2>/dev/null || true; rm -f '$out'" EXIT
    pty=""
    for _ in $(seq 100); do
        pty=$(head -n 1 "$out" | tr -d '\r\n')
        [ -n "$pty" ] && return 0
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "adapter-sim did not start" >&2
    cat "$out" >&2
    return 1
}
