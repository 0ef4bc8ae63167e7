<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Headroom</name>
    <message>
        <source>Authorize</source>
        <translation>Choose Home Folder…</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>Disk</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>&amp;Check Junk</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>C&amp;lean Junk</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Memory</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>Release Memory</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Show Window</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Hide Window</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About Headroom</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit Headroom</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>Headroom needs your home folder</translation>
    </message>
    <message>
        <source>Authorization Need</source>
        <translation>To measure and clean caches, logs, downloads and the trash, Headroom needs access to your home folder. In the next window, choose your home folder and confirm.</translation>
    </message>
    <message>
        <source>Authorized</source>
        <translation>Home folder: </translation>
    </message>
    <message>
        <source>Not Authorized</source>
        <translation>No home folder chosen</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>FreeDisk</source>
        <translation>Free</translation>
    </message>
    <message>
        <source>Folder Disk</source>
        <translation>Home folder&apos;s disk: </translation>
    </message>
    <message>
        <source>Caches</source>
        <translation>Caches </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Logs </translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads </translation>
    </message>
    <message>
        <source>Mail Download</source>
        <translation>Mail Downloads </translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Trash </translation>
    </message>
    <message>
        <source>Permission Alert</source>
        <translation>Headroom cannot reach your home folder yet</translation>
    </message>
    <message>
        <source>Permission Info</source>
        <translation>Headroom will ask for your home folder next. Once it is chosen, ask again.</translation>
    </message>
    <message>
        <source>Percent Used</source>
        <translation>% used</translation>
    </message>
    <message>
        <source>Clean Freed</source>
        <translation>Cleaning done: the disk gained </translation>
    </message>
    <message>
        <source>Clean Removed</source>
        <translation>The removed items measured </translation>
    </message>
    <message>
        <source>Clean Held</source>
        <translation>Files that programs still hold open, or hard links to them elsewhere, keep the rest in use.</translation>
    </message>
    <message>
        <source>Clean Unmeasured</source>
        <translation>Cleaning done. The free space of the disk could not be read.</translation>
    </message>
    <message>
        <source>Rows Unmeasured</source>
        <translation>Some rows could not be measured whole for want of open files or memory; they show no size.</translation>
    </message>
    <message>
        <source>Clean Short</source>
        <translation>Not everything could be removed for want of open files or memory.</translation>
    </message>
    <message>
        <source>Left Link</source>
        <translation>left in place, a link to </translation>
    </message>
    <message>
        <source>Left Mount</source>
        <translation>left in place, another mount</translation>
    </message>
    <message>
        <source>Left Mount Inside</source>
        <translation>not all removed, another mount inside stays</translation>
    </message>
    <message>
        <source>Left Read Only</source>
        <translation>not removed, the file system cannot be written to</translation>
    </message>
    <message>
        <source>Left Permission</source>
        <translation>not all removed, permission denied</translation>
    </message>
    <message>
        <source>Left In Use</source>
        <translation>not all removed, in use</translation>
    </message>
    <message>
        <source>Left Failed</source>
        <translation>not all removed</translation>
    </message>
    <message>
        <source>Release Freed</source>
        <translation>The cache gave back </translation>
    </message>
    <message>
        <source>Release Nothing</source>
        <translation>No memory could be freed.</translation>
    </message>
    <message>
        <source>Release Failed</source>
        <translation>The memory release helper failed; no memory was freed.</translation>
    </message>
    <message>
        <source>Release Unmeasured</source>
        <translation>Memory released; how much could not be measured.</translation>
    </message>
    <message>
        <source>Release No Helper</source>
        <translation>No memory was freed: the memory release helper (headroom-purge) is not installed.</translation>
    </message>
    <message>
        <source>Release No Pkexec</source>
        <translation>No memory was freed: pkexec is not installed, and without it no administrator’s password can be asked for.</translation>
    </message>
    <message>
        <source>Release Cancelled</source>
        <translation>No memory was freed: the password dialog was closed.</translation>
    </message>
    <message>
        <source>Release Refused</source>
        <translation>No memory was freed: the administrator’s password was not accepted, or could not be asked for.</translation>
    </message>
    <message>
        <source>Progress Measuring</source>
        <translation>Measuring %1…</translation>
    </message>
    <message>
        <source>Progress Removing</source>
        <translation>Removing %1…</translation>
    </message>
    <message>
        <source>Progress Measured</source>
        <translation>Entries: %1 · Size: %2</translation>
    </message>
    <message>
        <source>Progress Removed</source>
        <translation>Entries removed: %1</translation>
    </message>
    <message>
        <source>Releasing</source>
        <translation>Releasing Memory…</translation>
    </message>
    <message>
        <source>Release Waiting</source>
        <translation>The memory release helper is running; it may ask for an administrator’s password.</translation>
    </message>
    <message>
        <source>Items Show</source>
        <translation>Show what is inside</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>Item</translation>
    </message>
    <message>
        <source>Item Size</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Item On Disk</source>
        <translation>On disk</translation>
    </message>
    <message>
        <source>Item Share</source>
        <translation>Share</translation>
    </message>
    <message>
        <source>Items Rest</source>
        <translation>And %1 more</translation>
    </message>
    <message>
        <source>Items Rest Tip</source>
        <translation>Cleaned with the row</translation>
    </message>
    <message>
        <source>Item Keep Tip</source>
        <translation>Untick to keep it when cleaning</translation>
    </message>
    <message>
        <source>Row On Disk</source>
        <translation>Space on disk: %1</translation>
    </message>
    <message>
        <source>Item Deleted</source>
        <translation>Deleted %1</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>Free </translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>Wired </translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Active </translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>Inactive </translation>
    </message>
    <message>
        <source>About Text</source>
        <translation>Shows how full your disk is and how memory is split, cleans junk from your home folder and frees memory.</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>Licence: </translation>
    </message>
    <message>
        <source>No Tray Hint</source>
        <translation>No system tray found: on GNOME, turn on the AppIndicator extension for a tray icon.</translation>
    </message>
    <message>
        <source>No Display</source>
        <translation>no display to open a window on. For the figures on this terminal, run: headroom-cli status</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Headroom is still working on your last request. Try again when it has finished.</translation>
    </message>
</context>
</TS>
