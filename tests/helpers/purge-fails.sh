#!/bin/sh
# Stand-in purge tool that fails.
echo "purge-fails: cannot drop the caches" >&2
exit 3
