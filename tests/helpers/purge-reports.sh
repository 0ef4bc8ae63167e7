#!/bin/sh
# Stand-in purge tool that reports what it was started with: the number of
# arguments, its working folder and one variable of its environment.
{
  echo "args=$#"
  echo "cwd=$(pwd)"
  echo "value=$HEADROOM_TEST_VALUE"
} > "$HEADROOM_TEST_MARKER"
echo "to-stdout"
exit 0
