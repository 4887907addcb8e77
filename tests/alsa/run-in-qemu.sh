#!/usr/bin/env bash
# Boots Debian's kernel under qemu with a small initramfs and runs the ALSA tests inside it.
#   run-in-qemu.sh TEST_BINARY WORK_DIR
# The kernel comes from `apt-get download` of the image that linux-image-amd64 depends on,
# unpacked into WORK_DIR (never installed on this machine). Passes when the tests pass.
set -euo pipefail
binary=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
cd "$work"

# The modules the tests load, in the order init.sh loads them: sound, the virtual MIDI
# drivers, and a USB host and gadget pair that holds a USB MIDI instrument.
modules=(usb-common usbcore udc-core dummy_hcd configfs libcomposite soundcore snd snd-seq-device
         snd-rawmidi usb_f_midi mc snd-timer snd-pcm snd-usbmidi-lib snd-hwdep snd-usb-audio snd-seq
         snd-seq-midi-event snd-seq-midi snd-seq-virmidi snd-virmidi snd-seq-dummy)

# 1. The kernel and its modules.
if [ ! -d kernel/modules ]; then
  find_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}'
  }
  package=$(find_package)
  if [ -z "$package" ]; then
    # The package lists may never have been fetched on this machine.
    sudo=(); [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -q >/dev/null 2>&1 || true
    package=$(find_package)
  fi
  if [ -z "$package" ]; then
    echo "run-in-qemu: apt knows no linux-image-amd64 (run apt-get update)" >&2
    exit 1
  fi
  rm -rf kernel download && mkdir -p download
  (cd download && apt-get download "$package" >/dev/null 2>&1) || {
    echo "run-in-qemu: could not download $package" >&2; exit 1; }
  dpkg-deb -x download/*.deb unpacked
  # Keep only what the tests boot: the kernel and the modules above.
  rm -rf kernel && mkdir -p kernel/boot kernel/modules
  mv unpacked/boot/vmlinuz-* kernel/boot/
  for m in "${modules[@]}"; do
    found=$(find unpacked/lib/modules -name "$m.ko" | head -n 1)
    if [ -z "$found" ]; then
      echo "run-in-qemu: the kernel package has no $m.ko" >&2; exit 1
    fi
    cp "$found" kernel/modules/
  done
  rm -rf download unpacked
fi
vmlinuz=$(ls kernel/boot/vmlinuz-* | head -n 1)

# 2. The initramfs: busybox, the modules, the tests with every library they load, amidi and
#    aseqdump (the other programs at the same instrument), and ALSA's configuration.
root=initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,proc,sys,dev,tmp,modules,tests,usr/bin,usr/share}
cp /bin/busybox "$root/bin/"
cp kernel/modules/*.ko "$root/modules/"
printf '%s\n' "${modules[@]}" >"$root/modules/order"
cp "$binary" "$root/tests/alsa_guest_tests"
cp "$(command -v amidi)" "$(command -v aseqdump)" "$root/usr/bin/"
for program in "$binary" "$(command -v amidi)" "$(command -v aseqdump)"; do
  ldd "$program" | grep -o '/[^ ]*' | while read -r lib; do
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
  done
done
cp -r /usr/share/alsa "$root/usr/share/"
cp "$here/init.sh" "$root/init"
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc 2>/dev/null | gzip -1) > initramfs.gz

# 3. Boot, run, read the console. (One processor: qemu's emulation of two hangs here.)
# Software emulation always: a /dev/kvm that opens is no promise that it works (here a guest
# under KVM hung without a word).
# GTEST_FILTER, when set, chooses the tests to run inside. At normal priority even when the
# test run is at the lowest: the emulated machine's instruments keep time only when it runs,
# and builds beside it can wait.
renice -n 0 -p $$ >/dev/null 2>&1 || true
timeout 600 qemu-system-x86_64 -accel tcg -m 1536 -nographic -no-reboot \
  -kernel "$vmlinuz" -initrd initramfs.gz \
  -append "console=ttyS0 quiet panic=-1 filter=${GTEST_FILTER:-*}" </dev/null |
  tee console.log | tr -d '\r'
grep -q 'BANKSHUTTLE-ALSA-EXIT=0' console.log
