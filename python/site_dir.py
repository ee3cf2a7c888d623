"""Prints where this interpreter's site-packages lie relative to an install prefix.

The default scheme's platlib with the prefix left out: lib/python3.X/site-packages
upstream; on Debian, whose default scheme installs under /usr/local, the part after
/usr/local, lib/python3.X/dist-packages, which Debian's interpreter reads there.
"""

import sysconfig

MARK = "/@prefix@"

scheme = sysconfig.get_default_scheme()
path = sysconfig.get_path("platlib", scheme, vars={"base": MARK, "platbase": MARK})
relative = path[len(MARK) + 1 :]
if scheme == "posix_local" and relative.startswith("local/"):
    relative = relative[len("local/") :]
print(relative)
