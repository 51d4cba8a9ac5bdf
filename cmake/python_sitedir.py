"""Prints the site directory, relative to the install prefix given as argument, that the
interpreter running this script reads Python packages from: the first of its site directories
(its virtual environment's, /usr/local/lib/python3.X/dist-packages and /usr/lib/python3/dist-packages
on Debian, the user's site directory under ~/.local) that lies under the prefix, else the
conventional lib/python3.X/site-packages under it, which PYTHONPATH then has to name."""
import os
import site
import sys
import sysconfig


def sitedir(prefix):
    prefix = os.path.realpath(prefix)
    candidates = list(site.getsitepackages()) + [site.getusersitepackages()]
    for candidate in candidates:
        relative = os.path.relpath(os.path.realpath(candidate), prefix)
        if relative.startswith("lib") and not relative.startswith(".."):
            return relative
    default = sysconfig.get_path("platlib", "posix_prefix", vars={"base": prefix, "platbase": prefix})
    return os.path.relpath(default, prefix)


if __name__ == "__main__":
    print(sitedir(sys.argv[1]))
