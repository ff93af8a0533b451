#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, if missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format libclang-rt-14-dev pkg-config
  libgtest-dev libbenchmark-dev
  libasio-dev libsqlite3-dev libsodium-dev libcpp-httplib-dev
  librsvg2-bin libpng-dev
  libpq-dev libhiredis-dev redis-server stunnel4 postgresql python3
  shellcheck pyflakes3
  nginx libnginx-mod-stream openssl libssl-dev curl
  lintian dpkg-dev
  mingw-w64 mingw-w64-tools g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb file
  wixl msitools
  qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin fonts-dejavu-core
  libcanberra-dev sound-theme-freedesktop libsecret-1-dev
  emscripten chromium firefox-esr
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
# Node.js and npm may come with the machine from another packaging of Node
# whose nodejs conflicts with Debian's npm: take Debian's only where npm is missing.
command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The browser extension's end-to-end test drives the browsers with
# puppeteer-core, and ESLint checks its JavaScript: both from the npm
# registry, at the versions the lock file names.
here=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -d "$here/tests/web/node_modules/puppeteer-core" ] ||
   [ ! -d "$here/tests/web/node_modules/eslint" ]; then
  npm ci --prefix "$here/tests/web" --no-audit --no-fund --loglevel=error
fi
