#!/bin/sh
# Stand-in purge tool that the test holds while it looks at the window:
# notes its start, waits until the file $HEADROOM_TEST_GATE appears (never
# more than about a minute), then changes the page counters the caller reads
# when it was given a replacement, and ends with $HEADROOM_TEST_STATUS.
[ -n "$HEADROOM_TEST_STARTS" ] && echo started >> "$HEADROOM_TEST_STARTS"
tries=0
while [ ! -e "$HEADROOM_TEST_GATE" ]; do
  tries=$((tries + 1))
  [ "$tries" -gt 600 ] && exit 99
  sleep 0.1
done
if [ -n "$HEADROOM_TEST_VMSTAT_AFTER" ]; then
  cp "$HEADROOM_TEST_VMSTAT_AFTER" "$HEADROOM_TEST_VMSTAT" || exit 98
fi
[ -n "$HEADROOM_TEST_ENDS" ] && echo ended >> "$HEADROOM_TEST_ENDS"
exit "${HEADROOM_TEST_STATUS:-0}"
