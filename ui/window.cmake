# The window's sources; filled in by the window's build.
