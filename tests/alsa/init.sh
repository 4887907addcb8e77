#!/bin/busybox sh
# The emulated machine's first process: load the modules, plug in a USB MIDI instrument, run
# the tests, power off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
for m in $(cat /modules/order); do
  insmod /modules/$m.ko || echo "insmod $m failed"
done

# The instrument: a USB gadget with one MIDI function, on the dummy host controller. Writing
# the UDC's name into its UDC file plugs the cable; the tests pull and plug it.
mount -t configfs none /sys/kernel/config
g=/sys/kernel/config/usb_gadget/synth
mkdir $g $g/strings/0x409 $g/configs/c.1 $g/functions/midi.usb0
echo 0x1d6b >$g/idVendor
echo 0x0104 >$g/idProduct
echo KoRvO >$g/strings/0x409/manufacturer
echo "Test Synth" >$g/strings/0x409/product
echo fmidi >$g/functions/midi.usb0/id
ln -s $g/functions/midi.usb0 $g/configs/c.1/

export HOME=/tmp PATH=/usr/bin:/bin ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf
filter=$(sed -n 's/.* filter=\([^ ]*\).*/\1/p' /proc/cmdline)
/tests/alsa_guest_tests --gtest_color=no --gtest_filter="${filter:-*}"
echo "BANKSHUTTLE-ALSA-EXIT=$?"
poweroff -f
