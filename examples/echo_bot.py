#!/usr/bin/env python3
"""A bot that answers each line of standard input, learning as it goes, in its own folder."""
import sys

import tsugihagi

folder = sys.argv[1] if len(sys.argv) > 1 else None  # None: the window's folder
with tsugihagi.Bot(folder, save="always") as bot:
    for line in sys.stdin:
        reply = bot.converse(line.rstrip("\n"))
        if reply:
            print(reply, flush=True)
