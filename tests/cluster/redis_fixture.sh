#!/usr/bin/env bash
# The CTest fixtures "redis" and "redis-3.0": `start DIR SERVER` runs the
# redis-server SERVER on a free loopback port, without persistence, with DIR
# as its folder, and writes the port to DIR/port and SERVER to DIR/server
# (the tests that start a Redis of their own run the same); `stop DIR` stops
# it by its process id.
set -euo pipefail
dir=$2
case $1 in
  start)
    server=$3
    # A run that was interrupted before its "stop" leaves its server behind.
    if [ -f "$dir/redis.pid" ]; then
      kill "$(cat "$dir/redis.pid")" 2>/dev/null || true
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$server" --port "$port" --bind 127.0.0.1 --save "" --appendonly no --dir "$dir" \
      --daemonize yes --pidfile "$dir/redis.pid" --logfile "$dir/redis.log"
    for _ in $(seq 200); do
      if redis-cli -p "$port" ping 2>/dev/null | grep -q PONG; then
        echo "$port" >"$dir/port"
        echo "$server" >"$dir/server"
        "$server" --version
        exit 0
      fi
      sleep 0.05
    done
    echo "$server did not start on port $port" >&2
    exit 1
    ;;
  stop)
    if [ -f "$dir/redis.pid" ]; then
      kill "$(cat "$dir/redis.pid")"
    fi
    ;;
esac
