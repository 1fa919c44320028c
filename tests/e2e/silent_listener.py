# silent_listener.py LOG PATH...: listens on each local socket PATH, takes every connection and
# never answers. LOG gets a line once all listen, and one for each connection taken.
import os, select, socket, sys
listening = [socket.socket(socket.AF_UNIX) for _ in sys.argv[2:]]
for s, path in zip(listening, sys.argv[2:]):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    s.bind(path)
    s.listen(8)
log, held = open(sys.argv[1], "a", buffering=1), []
log.write("listening\n")
while True:
    held += [s.accept()[0] for s in select.select(listening, [], [])[0]]
    log.write("taken\n")
