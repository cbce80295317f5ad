#!/usr/bin/env bash
# Runs a command in a private network namespace with only a loopback device,
# so the fixture server can own ports 443 and 8080 on 127.0.0.1 and 127.0.0.2
# without touching the host's network or colliding with another test run.
set -euo pipefail
if [[ "${NOLM_PRIVATE_NETWORK:-}" == 1 ]]; then exec "$@"; fi
exec unshare --net -- bash -c 'ip link set lo up && NOLM_PRIVATE_NETWORK=1 exec "$@"' bash "$@"
