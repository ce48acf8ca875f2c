#!/bin/sh
# Installs what is missing, builds Tavix and opens it.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tavix tavix-cli
exec ./build/bin/tavix "$@"
