# Debian packages the build, the tests and the programs need; installed only when missing.
# The window needs Qt 6 Widgets (with its OpenGL headers for CMake), Qt's linguist tools for
# its Russian texts and Qt's own Russian texts, and a face with Arial's metrics for its fixed
# layout; its tests run offscreen, with no display. The Debian package
# needs dpkg-shlibdeps (dpkg-dev) for its dependencies and file, by which CPack picks the
# binaries dpkg-shlibdeps reads; its test needs the desktop's validators and readelf (binutils).
# The records keep their rows with SQLite and libpq, hash files with OpenSSL and compress
# line traces with zlib; their tests run a private PostgreSQL server (postgresql; its own
# cluster is not used). One window test reads the titles a desktop shows from a private X
# server (Xvfb, xprop, Qt's X11 plugin).
CONFIGURATOR_PACKAGES="g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev \
libcli11-dev nlohmann-json3-dev qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n \
libgl-dev fonts-liberation2 help2man \
dpkg-dev file binutils desktop-file-utils appstream shared-mime-info xvfb x11-utils qt6-qpa-plugins \
libsqlite3-dev libpq-dev libssl-dev zlib1g-dev postgresql"

install_deps() {
    local missing=() p sudo=""
    for p in $CONFIGURATOR_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}
