# Simulated devices as COM ports of the Wine prefix. Source it after scripts/lib.sh
# and scripts/lib-wine.sh; SIM is the Linux ixo-sim.

[ -e "${WINEPREFIX:-}/$IXO_WINE_MARK" ] || {
  echo "not in a Wine prefix made by scripts/lib-wine.sh; run scripts/test-windows.sh" >&2
  exit 77
}
sim_work=$(mktemp -d)
sim_pids=() sim_ports=()

stop_sims() {
  local pid n
  for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  for n in "${sim_ports[@]}"; do rm -f "$WINEPREFIX/dosdevices/com$n"; done
  rm -rf "$sim_work"
}
trap stop_sims EXIT

# start_sim N [ixo-sim options]: a simulated device entered as COMN. Its port map
# entry goes to a folder of its own; its trace, with --trace, to $sim_work/simN.trace.
start_sim() {
  local n=$1 line="" i
  shift
  : >"$sim_work/sim$n.out"
  HOME=$sim_work XDG_CONFIG_HOME=$sim_work "$SIM" --port "$n" "$@" \
    >"$sim_work/sim$n.out" 2>>"$sim_work/sim$n.trace" &
  sim_pids+=($!)
  sim_ports+=("$n")
  for ((i = 0; i < 200; i++)); do
    line=$(head -n 1 "$sim_work/sim$n.out")
    [ -n "$line" ] && break
    sleep 0.05
  done
  case "$line" in
    "COM$n /dev/pts/"*) wine_enter_port "$n" "${line#* }" ;;
    *) echo "ixo-sim on COM$n did not start: $(cat "$sim_work/sim$n.trace")" >&2; exit 1 ;;
  esac
}

# absent_port N: COMN leads to a path that does not exist.
absent_port() {
  sim_ports+=("$1")
  wine_enter_port "$1" "$sim_work/absent-com$1"
}
