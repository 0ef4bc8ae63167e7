#!/bin/sh
# Stand-in purge tool that the test holds while it looks at the window. In
# the folder $HEADROOM_TEST_DIR: notes its start in "starts", waits until
# "gate" appears (never more than about a minute), copies "vmstat-after"
# over "vmstat" (the page counters the caller reads) when there is one,
# notes its end in "ends" and ends with $HEADROOM_TEST_STATUS.
dir=$HEADROOM_TEST_DIR
echo started >> "$dir/starts"
tries=0
while [ ! -e "$dir/gate" ]; do
  tries=$((tries + 1))
  [ "$tries" -gt 600 ] && exit 99
  sleep 0.1
done
if [ -e "$dir/vmstat-after" ]; then
  cp "$dir/vmstat-after" "$dir/vmstat" || exit 98
fi
echo ended >> "$dir/ends"
exit "${HEADROOM_TEST_STATUS:-0}"
