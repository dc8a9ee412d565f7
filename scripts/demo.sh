#!/usr/bin/env bash
# The main job end to end: install what is missing, build, start the document
# service simulator on loopback, extract the bundled sample with tessaly-cli,
# print its text, stop the simulator.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$(dirname "$0")/setup.sh"

build="$top/build"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$build" --target tessaly-cli tessaly-docservice -j "$(nproc)" >&2

work=$(mktemp -d)
service_pid=""
cleanup() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$build/sim/tessaly-docservice" --ca-out "$work/ca.pem" --ready-file "$work/ready" >"$work/service.out" 2>&1 &
service_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/ready" ] && break
  kill -0 "$service_pid" 2>/dev/null || { cat "$work/service.out" >&2; exit 1; }
  sleep 0.1
done
[ -s "$work/ready" ] || { echo "the simulator did not start" >&2; exit 1; }
read -r http_port https_port <"$work/ready"
address=$(sed -n 's/^sample: //p' "$work/service.out")

export TESSALY_CONNECT_TO="wenku.baidu.com:443:127.0.0.1:$https_port,wenku.baidu.com:80:127.0.0.1:$http_port"
export TESSALY_CA_BUNDLE="$work/ca.pem"
echo "Extracting $address (served on 127.0.0.1:$https_port)" >&2
mkdir -p "$work/out"
status=0
"$build/app/tessaly-cli" --no-open -o "$work/out" "$address" || status=$?
echo
exit "$status"
