"""Runs a command and writes its peak resident size (KiB, its largest process's) to a
file; exits with the command's status. Usage: peak_rss.py OUT COMMAND..."""
import resource, subprocess, sys

status = subprocess.call(sys.argv[2:])
with open(sys.argv[1], "w") as out:
    out.write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
sys.exit(status)
