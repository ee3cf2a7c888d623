#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
# As root it runs apt-get; otherwise it prints the command to run.
set -euo pipefail

native=(build-essential cmake pkg-config libfreetype-dev libglu1-mesa-dev libgtest-dev
        libbenchmark-dev libftgl-dev fonts-dejavu-core fonts-freefont-otf fonts-liberation2
        python3-fonttools clang clang-format libclang-rt-14-dev valgrind
        libassimp-dev libcairo2-dev libpng-dev libfontconfig-dev
        libharfbuzz-dev libharfbuzz-bin fonts-noto-core
        libfribidi-dev libicu-dev nlohmann-json3-dev unicode-data python3-brotli
        fonts-urw-base35 fonts-noto-cjk librsvg2-bin admesh
        python3-dev pybind11-dev python3-numpy python3-pytest python3-pil
        libpolyclipping-dev libcgal-dev fonts-dejavu-extra lib3mf-dev libzip-dev)
i386=(g++-multilib qemu-user libfreetype-dev:i386 libglu1-mesa-dev:i386 libgtest-dev:i386
      libfribidi-dev:i386 libicu-dev:i386
      libharfbuzz-dev:i386 libpolyclipping-dev:i386)

want=("${native[@]}")
if [ "${1:-}" != "--native-only" ]; then
  want+=("${i386[@]}")
fi

installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# The Khronos glTF validator, which the tests run on glTF outputs, comes from the npm
# registry into .tools/npm when node is here; without it those checks skip, saying so.
validator_version=2.0.0-dev.3.10
validator_dir="$(cd "$(dirname "$0")/.." && pwd)/.tools/npm"
install_validator() {
  command -v npm >/dev/null 2>&1 || return 0
  grep -qs "\"version\": \"$validator_version\"" \
    "$validator_dir/node_modules/gltf-validator/package.json" && return 0
  npm install --no-save --no-audit --no-fund --prefix "$validator_dir" \
    "gltf-validator@$validator_version" >/dev/null 2>&1 ||
    echo "setup: gltf-validator could not be installed; glTF validation tests will skip" >&2
}

missing=()
for pkg in "${want[@]}"; do
  installed "$pkg" || missing+=("$pkg")
done
if [ ${#missing[@]} -eq 0 ]; then
  install_validator
  exit 0
fi

needs_i386=0
for pkg in "${missing[@]}"; do
  case "$pkg" in *:i386) needs_i386=1 ;; esac
done

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages; run as root:" >&2
  [ $needs_i386 -eq 1 ] && echo "  dpkg --add-architecture i386" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

if [ $needs_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
install_validator
