#!/usr/bin/env bash
# Builds the Debian package build/deb/tolvenka_VERSION_ARCH.deb with the
# distribution's own tools (debhelper through dpkg-buildpackage). The build
# runs in a copy of the source tree, so the tree is left as it was and what
# an earlier build left behind cannot leak into the package.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

# One version everywhere: the build's, the package's and the newest release
# that software centres show.
version=$(sed -n 's/^project(Tolvenka VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$(dpkg-parsechangelog --show-field Version)" != "$version" ] ||
    ! grep -q "<release version=\"$version\"" dist/*.metainfo.xml; then
    echo "Version $version of CMakeLists.txt must also be the one of debian/changelog and a" \
        "release in dist/*.metainfo.xml." >&2
    exit 1
fi

out=build/deb
rm -rf "$out"
mkdir -p "$out/source"
tar --exclude-vcs --exclude=./build --exclude=./demo --exclude=./.cache -cf - . |
    tar -xf - -C "$out/source"

# A compiler cache, where there is one, makes a rebuild cheap. debhelper
# gives the build a home folder of its own, so the cache is named outright.
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache # CMake takes it from the environment
    CCACHE_DIR=$(ccache --get-config cache_dir)
    export CCACHE_DIR CCACHE_BASEDIR=$PWD/$out/source
fi
(cd "$out/source" && dpkg-buildpackage --build=binary --no-sign -j"$(nproc)")
ls "$out"/tolvenka_*.deb
