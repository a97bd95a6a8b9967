#!/usr/bin/env bash
# Installs the build into a fresh prefix and makes the .deb from it, then checks that
# both hold the programs, the udev rule, the module list and the README, and that the
# package runs the rule on installation.
set -euo pipefail
build="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log"
for f in bin/ZorvanISP bin/zorvan-links bin/zorvan-sim lib/udev/rules.d/60-zorvan-dp-aux.rules \
         lib/modules-load.d/zorvan-isp-tools.conf share/doc/zorvan-isp-tools/README.md; do
    [ -e "$work/prefix/$f" ] || fail "cmake --install left out $f"
done
grep -q 'SUBSYSTEM=="drm_dp_aux_dev".*GROUP="video"' "$work/prefix/lib/udev/rules.d/60-zorvan-dp-aux.rules" ||
    fail "the udev rule does not open the AUX nodes to group video"
status=0
"$work/prefix/bin/zorvan-links" >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "the installed zorvan-links does not run (exit $status)"

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/deb/zorvan-isp-tools_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "no .deb was made"
dpkg-deb -c "$deb" >"$work/contents.txt"
for f in ./usr/bin/ZorvanISP ./usr/bin/zorvan-links ./usr/lib/udev/rules.d/60-zorvan-dp-aux.rules \
         ./usr/lib/modules-load.d/zorvan-isp-tools.conf ./usr/share/doc/zorvan-isp-tools/README.md; do
    grep -q " $f\$" "$work/contents.txt" || fail "the package lacks $f"
done
dpkg-deb -I "$deb" postinst | grep -q 'udevadm trigger' || fail "the package does not apply the rule"
dpkg-deb -f "$deb" Depends | grep -q 'libssl' || fail "the package's dependencies miss OpenSSL"
rm -rf "$work"
echo "package and install tree complete"
