#!/bin/sh
# Stand-in purge tool that changes the page counters the caller reads (a
# test points them at $HEADROOM_TEST_VMSTAT) and then fails with status 5.
cp "$HEADROOM_TEST_VMSTAT_AFTER" "$HEADROOM_TEST_VMSTAT" || exit 1
exit 5
