#!/usr/bin/python3
"""Stands in for linkherd-windows: counts its starts in DIR/starts (DIR from LINKHERD_FAKE_WINDOWS), records each
message it receives as a line of DIR/received-N (N: this start's number, from 1), says it is ready, and after its
Kth message sends line K of DIR/replies-N, if there is one: messages separated by tabs, "{SEEN}" standing for K;
"exit CODE" ends it with that code instead. It ends at the end of its input."""
import os
import sys

folder = os.environ["LINKHERD_FAKE_WINDOWS"]
with open(os.path.join(folder, "starts"), "a") as starts:
    starts.write("start\n")
with open(os.path.join(folder, "starts")) as starts:
    number = len(starts.readlines())
try:
    with open(os.path.join(folder, f"replies-{number}")) as file:
        replies = file.read().splitlines()
except FileNotFoundError:
    replies = []

print('{"kind":"ready"}', flush=True)
with open(os.path.join(folder, f"received-{number}"), "a") as received:
    for index, line in enumerate(sys.stdin):
        received.write(line)
        received.flush()
        reply = replies[index] if index < len(replies) else ""
        if reply.startswith("exit "):
            sys.exit(int(reply[5:]))
        for message in filter(None, reply.split("\t")):
            print(message.replace("{SEEN}", str(index + 1)), flush=True)
