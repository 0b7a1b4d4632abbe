# Shared by scripts/run and scripts/test: installs what is missing and builds.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# Installs the Debian packages among "$@" that are not installed yet.
ensure_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

build_packages=(cmake ninja-build g++ pkg-config ca-certificates
                qt6-base-dev libqt6gui6 libgl-dev fonts-arphic-ukai
                libcurl4-openssl-dev libpcre2-dev libcpp-httplib-dev libssl-dev zlib1g-dev libbrotli-dev
                libgtest-dev nlohmann-json3-dev libcli11-dev libsqlite3-dev
                libopencc-dev libopencc-data libzip-dev libqt6svg6 help2man)

# configure_and_build DIR BUILD_TYPE [cmake options...]
configure_and_build() {
    local dir=$1 type=$2
    shift 2
    cmake -S "$repo" -B "$repo/$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DVARNHOLT_WERROR=ON "$@" >/dev/null
    cmake --build "$repo/$dir" -j "$jobs"
}
