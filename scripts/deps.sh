# Installs the Debian 12 packages the build, the tests and the demo need, when
# any is missing. Sourced by test.sh and run.sh.
packages=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libicu-dev libfontconfig-dev
          clang libclang-rt-14-dev attr gzip python3
          qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev fonts-dejavu-core fonts-liberation
          xvfb xauth xdotool imagemagick libxdamage-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
