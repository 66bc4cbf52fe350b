#!/bin/sh
# Runs a test in a network namespace of its own with only loopback up, so that
# the demodulator port 127.0.0.1:6002 of one run never meets another's and
# process tests need not wait for each other. Root needs no user namespace.
if [ "$(id -u)" = 0 ]; then
  exec unshare -n sh -c 'ip link set lo up && exec "$0" "$@"' "$@"
fi
exec unshare -rn sh -c 'ip link set lo up && exec "$0" "$@"' "$@"
