#!/usr/bin/env bash
# Builds Halvane and makes its Debian package, build/halvane_<version>_amd64.deb, with
# CPack's DEB generator (the rules: cmake/Packaging.cmake and the install() rules).
# The build is build/'s own, RelWithDebInfo as the tests and benchmarks run it, so the
# program packaged is the one tested, and after scripts/test.sh nothing is rebuilt; CPack
# strips the copy it packages. Extra CMake options in $@.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_TARGETS="halvane halvane_manpage halvane_changelog" scripts/setup.sh "$@"
rm -f build/halvane_*.deb
(cd build && cpack -G DEB)
