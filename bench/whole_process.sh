# Shared by the whole-process benchmarks (sourced): the programs they compare
# against, the kestrl command they measure, and the timing of a command over
# several runs.

# Installs the Debian packages of the programs that are missing; the
# arguments are COMMAND:PACKAGE pairs (a COMMAND given as a path must be an
# executable file there).
install_missing() {
  local missing=() pair command
  for pair in "$@"; do
    command=${pair%%:*}
    if [[ $command == /* ]]; then
      [[ -x $command ]] || missing+=("${pair#*:}")
    else
      command -v "$command" > /dev/null || missing+=("${pair#*:}")
    fi
  done
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}" >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# The kestrl command to measure: $KESTRL when set, else the one of the build
# folder given, built first.
kestrl_to_measure() {
  if [[ -n ${KESTRL:-} ]]; then
    echo "$KESTRL"
    return
  fi
  cmake --build "$1" --target kestrl > /dev/null
  echo "$1/tools/kestrl"
}

# Runs the command given as arguments RUNS times (default 3) and prints
# "WALL CPU KB": the best wall time and the best processor time (user +
# system, all threads) in seconds, and the largest peak resident set in kB.
# On a busy machine the processor time is the steadier figure.
best_of_runs() {
  local wall="" cpu="" rss=0 i w c r
  for ((i = 0; i < ${RUNS:-3}; i++)); do
    read -r w c r < <(/usr/bin/time -f "%e %U %S %M" "$@" 2>&1 > /dev/null | tail -n 1 |
      awk '{ print $1, $2 + $3, $4 }')
    wall=$(awk -v a="$wall" -v b="$w" 'BEGIN { print (a == "" || b < a) ? b : a }')
    cpu=$(awk -v a="$cpu" -v b="$c" 'BEGIN { print (a == "" || b < a) ? b : a }')
    ((r > rss)) && rss=$r
  done
  echo "$wall $cpu $rss"
}
