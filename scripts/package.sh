#!/usr/bin/env bash
# Installs what is missing, builds Cartulo optimised with Debian's hardening flags and makes
# the Debian package build-package/cartulo_<version>_amd64.deb, then checks it with lintian.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"

# dpkg-buildflags maps the source folder to "." in the debugging data: run it from there.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CFLAGS CXXFLAGS LDFLAGS

out="$root/build-package"
bash "$root/scripts/build.sh" "$out" -DCMAKE_BUILD_TYPE=Release -DCARTULO_TESTS=OFF -DCARTULO_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr
rm -f "$out"/cartulo_*.deb
(cd "$out" && cpack -G DEB >/dev/null)
package="$(ls "$out"/cartulo_*.deb)"
echo "Package: $package"
lintian --fail-on error --info "$package"
