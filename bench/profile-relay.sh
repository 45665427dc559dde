#!/bin/sh
# Profiles the relay with callgrind during one kind of measure only:
#   bench/profile-relay.sh fanout|latency|wide-latency [more velarelay-bench options]
# from the repository root, after `make bench-build`. The profile
# lands in bench/out/callgrind.PID; read it with callgrind_annotate.
set -e
phase=$1
shift
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/bench/out
mkdir -p "$out"
hook=$out/profile-hook.sh
cat >"$hook" <<HOOK
#!/bin/sh
# EVENT LABEL PID
[ "\$2" = relay ] || exit 0
case "\$1" in
  $phase-begin) callgrind_control -i on "\$3" >/dev/null ;;
  $phase-end) callgrind_control -i off "\$3" >/dev/null ;;
esac
HOOK
chmod +x "$hook"
exec "$root/build-bench/bench/bin/velarelay-bench" --only relay --quick \
  --relay "$root/build-bench/bin/velarelay" --ssl-dir "$root/build-bench/bin/ssl" \
  --node "$(command -v node || command -v nodejs)" --node-path /usr/share/nodejs \
  --ws-peer "$root/bench/peers/ws/server.js" --qt-peer "$root/build-bench/bench/bin/velarelay-qt-peer" \
  --out "$out" --results "$out/profile-results.md" \
  --wrap-relay "valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file=$out/callgrind.%p" \
  --hook "$hook" "$@"
