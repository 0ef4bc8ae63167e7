#!/bin/sh
# Stand-in purge tool that takes its time, then leaves a mark so the caller
# can tell it was waited for.
sleep 1
if [ -n "$HEADROOM_TEST_MARKER" ]; then
  echo done > "$HEADROOM_TEST_MARKER"
fi
exit 0
