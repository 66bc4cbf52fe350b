#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet (as root, or
# through sudo), without their recommended packages: what is needed is named
# (the orbit libraries' recommends alone pull in ~330 packages nothing here
# uses). Does nothing when all of them are there.
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
