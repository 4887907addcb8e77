#!/bin/busybox sh
# The emulated machine's first process: load the sound modules, run the tests, power off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
for m in soundcore snd snd-timer snd-seq-device snd-rawmidi snd-seq snd-seq-midi-event \
         snd-seq-virmidi snd-virmidi snd-seq-dummy; do
  insmod /modules/$m.ko || echo "insmod $m failed"
done
export HOME=/tmp PATH=/usr/bin:/bin ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf
/tests/alsa_guest_tests --gtest_color=no
echo "BANKSHUTTLE-ALSA-EXIT=$?"
poweroff -f
