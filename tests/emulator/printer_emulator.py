#!/usr/bin/env python3
"""Plays N receipt printers on the Linux side of pseudo-terminals for Wine tests.

Each printer is a pty whose slave appears to Wine as \\\\.\\COMnn through a
<prefix>/dosdevices/comNN symlink. Tests steer the printers over a line-based
TCP control connection on 127.0.0.1 (see HELP below); the chosen TCP port and
COM names are published in the ready file as "port=<p> coms=COM40,COM41".
"""

import argparse
import fcntl
import os
import select
import signal
import socket
import sys
import termios
import threading
import time
import tty

FIRST_COM = 40

HELP = """commands (I = 0-based printer index), one reply line each, OK... or ERR <text>:
  rx I            OK <hex of bytes received since last clear>
  count I         OK <n>
  clear I         drop received bytes, unstall, no rate, flush both pty queues; OK
  send I <hex>    write bytes towards the host; OK
  stall I 1|0     stop/resume reading from the host; OK
  rate I N        take at most N bytes a second from the host (0: as fast as they come); OK
  line I          OK baud=<n> bits=<5..8> parity=<N|E|O> stop=<1|2> rtscts=<0|1>
  wait I N MS     wait until >= N bytes received or MS ms passed; OK <count>
  alias I         OK PRTnn: publish the printer under that name too (nn of its COMnn)
  caps            OK framing=<1 if line reports the host's data bits and parity, else 0>
                  linebuf=<bytes the line holds while the printer takes nothing>"""

SPEEDS = {getattr(termios, n): int(n[1:])
          for n in dir(termios) if n.startswith("B") and n[1:].isdigit()}
SIZES = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}


class Printer:
    # How long "send" waits for room in a line the host does not read before it gives up.
    SEND_TIMEOUT = 5.0

    def __init__(self):
        # The slave stays open for the emulator's whole life: otherwise the
        # master reads EIO (hangup) whenever the Windows side closes the port.
        # Both ends raw, so no byte is translated, swallowed or echoed.
        self.master, self.slave = os.openpty()
        tty.setraw(self.master)
        tty.setraw(self.slave)
        # Never block on the master: the reader reads it while holding the lock, and a
        # read that found nothing after all (a "clear" flushed the queue between select()
        # and the read) must give the lock back at once.
        os.set_blocking(self.master, False)
        self.tty_name = os.ttyname(self.slave)
        self.link = None
        self.alias = None
        self.cond = threading.Condition()
        self.data = bytearray()
        self.stalled = False
        self.rate = 0          # bytes a second; 0 takes whatever is there
        self.credit = 0.0      # bytes the rate allows now
        self.credit_at = time.monotonic()
        threading.Thread(target=self._reader, daemon=True).start()

    def _chunk(self):
        """The least a rate-limited reader takes at a time: 20 ms of its rate."""
        return max(1, self.rate // 50)

    def _allowance(self):
        """Bytes the reader may take now; with the lock held."""
        if not self.rate:
            return 65536
        now = time.monotonic()
        # At most a tenth of a second of credit builds up while the host sends nothing.
        cap = max(float(self._chunk()), self.rate / 10.0)
        self.credit = min(self.credit + (now - self.credit_at) * self.rate, cap)
        self.credit_at = now
        return int(self.credit)

    def _reader(self):
        while True:
            with self.cond:
                while self.stalled:
                    self.cond.wait()
                allowed = self._allowance()
                short = self._chunk() - allowed if self.rate else 0
                rate = self.rate
            if short > 0:
                time.sleep(min(0.05, short / rate))
                continue
            ready, _, _ = select.select([self.master], [], [], 0.1)
            if not ready:
                continue
            with self.cond:
                # Once "stall" has replied, not one more byte leaves the line,
                # even if select() woke us just before it.
                if self.stalled:
                    continue
                allowed = self._allowance()
                if allowed <= 0:
                    continue
                try:
                    chunk = os.read(self.master, allowed)
                except BlockingIOError:
                    continue   # a "clear" took what select() saw
                except OSError:
                    chunk = b""
                if chunk:
                    self.data += chunk
                    if self.rate:
                        self.credit -= len(chunk)
                    self.cond.notify_all()
            if not chunk:
                time.sleep(0.05)

    def clear(self):
        with self.cond:
            self.data.clear()
            self.stalled = False
            self.rate = 0
            # Master input = bytes the host wrote but we have not read yet;
            # slave input = status bytes the host has not read yet.
            termios.tcflush(self.master, termios.TCIOFLUSH)
            termios.tcflush(self.slave, termios.TCIOFLUSH)
            self.cond.notify_all()

    def stall(self, on):
        with self.cond:
            self.stalled = on
            self.cond.notify_all()

    def set_rate(self, rate):
        with self.cond:
            self.rate = rate
            self.credit = 0.0
            self.credit_at = time.monotonic()
            self.cond.notify_all()

    def send(self, payload):
        """Writes towards the host; waits for room while the host does not read, but not
        for ever: a line that stays full raises, and the command replies ERR."""
        view = memoryview(payload)
        deadline = time.monotonic() + self.SEND_TIMEOUT
        while view:
            try:
                view = view[os.write(self.master, view):]
                continue
            except BlockingIOError:
                pass
            left = deadline - time.monotonic()
            if left <= 0:
                raise RuntimeError("line full: the host took %d of %d bytes"
                                   % (len(payload) - len(view), len(payload)))
            select.select([], [self.master], [], min(left, 0.1))

    def wait(self, n, ms):
        deadline = time.monotonic() + ms / 1000.0
        with self.cond:
            while len(self.data) < n:
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self.cond.wait(left)
            return len(self.data)

    def line(self):
        # On a pty master this reads the slave's termios: what the host set.
        attrs = termios.tcgetattr(self.master)
        cflag, ospeed = attrs[2], attrs[5]
        if cflag & termios.PARENB:
            parity = "O" if cflag & termios.PARODD else "E"
        else:
            parity = "N"
        return "baud=%d bits=%d parity=%s stop=%d rtscts=%d" % (
            SPEEDS.get(ospeed, 0), SIZES[cflag & termios.CSIZE], parity,
            2 if cflag & termios.CSTOPB else 1,
            1 if cflag & termios.CRTSCTS else 0)


def framing_observable():
    """Some kernels force every pty to CS8 without parity whatever is set."""
    master, slave = os.openpty()
    try:
        attrs = termios.tcgetattr(slave)
        attrs[2] = (attrs[2] & ~termios.CSIZE) | termios.CS7 | termios.PARENB
        try:
            termios.tcsetattr(slave, termios.TCSANOW, attrs)
        except termios.error:
            pass  # libc reports the kernel's silent refusal as EINVAL
        cflag = termios.tcgetattr(master)[2]
        return (cflag & termios.CSIZE) == termios.CS7 and bool(cflag & termios.PARENB)
    finally:
        os.close(slave)
        os.close(master)


FRAMING = framing_observable()


def line_buffer():
    """Bytes a pseudo-terminal holds before the host's writes block.

    A host whose writes block is woken only once the printer has taken almost all of them
    again, so a printer that takes less than this in a few seconds cannot be told from one
    that has stopped, whatever its pace: tests that pace a printer choose their rate by it."""
    master, slave = os.openpty()
    try:
        tty.setraw(master)
        tty.setraw(slave)
        os.set_blocking(slave, False)
        held = 0
        try:
            while held < (1 << 24):
                held += os.write(slave, b"\0" * 512)
        except BlockingIOError:
            pass
        return held
    finally:
        os.close(slave)
        os.close(master)


LINE_BUFFER = line_buffer()


def com_number(name):
    if name.startswith("com") and name[3:].isdigit():
        return int(name[3:])
    return None


def attach_links(printers, dosdevices):
    """Gives each printer the lowest free comNN (NN >= 40).

    Several emulators may share one prefix, so names are claimed by
    os.symlink itself (fails if the name exists) and the clean-up of links
    left by crashed runs is serialised by a lock file.
    """
    with open(os.path.join(dosdevices, ".printer_emulator.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        for name in os.listdir(dosdevices):
            num = com_number(name)
            path = os.path.join(dosdevices, name)
            if num is not None and num >= FIRST_COM and os.path.islink(path) \
                    and not os.path.exists(path):
                try:
                    os.unlink(path)
                except FileNotFoundError:
                    pass
        num = FIRST_COM
        for p in printers:
            while True:
                path = os.path.join(dosdevices, "com%d" % num)
                num += 1
                try:
                    os.symlink(p.tty_name, path)
                except FileExistsError:
                    continue
                p.link = path
                break


def detach_links(printers):
    for p in printers:
        for link in (p.link, p.alias):
            try:
                if link and os.readlink(link) == p.tty_name:
                    os.unlink(link)
            except OSError:
                pass


def attach_alias(p):
    """Publishes the printer under a second name that does not begin with COM.

    The number is that of the printer's own comNN, which this emulator holds, so a
    link of that name can only be a stale one of a crashed run."""
    num = com_number(os.path.basename(p.link))
    path = os.path.join(os.path.dirname(p.link), "prt%d" % num)
    if p.alias != path:
        if os.path.islink(path):
            os.unlink(path)
        os.symlink(p.tty_name, path)
        p.alias = path
    return "PRT%d" % num


def execute(printers, words):
    if not words:
        raise ValueError("empty command")
    cmd, args = words[0], words[1:]
    if cmd == "help":
        return " ".join(HELP.split())
    if cmd == "caps":
        return "framing=%d linebuf=%d" % (FRAMING, LINE_BUFFER)
    if not args:
        raise ValueError("missing printer index")
    if not args[0].isdigit() or int(args[0]) >= len(printers):
        raise ValueError("no printer %r" % args[0])
    p = printers[int(args[0])]
    arity = {"rx": 1, "count": 1, "clear": 1, "line": 1, "send": 2, "stall": 2, "wait": 3,
             "alias": 1, "rate": 2}
    if cmd not in arity:
        raise ValueError("unknown command %r" % cmd)
    # "send I" with nothing to send is what "send I <empty hex>" splits into.
    if len(args) != arity[cmd] and not (cmd == "send" and len(args) == 1):
        raise ValueError("%s takes %d argument(s)" % (cmd, arity[cmd]))
    if cmd == "rx":
        with p.cond:
            return p.data.hex()
    if cmd == "count":
        with p.cond:
            return str(len(p.data))
    if cmd == "clear":
        p.clear()
        return ""
    if cmd == "send":
        p.send(bytes.fromhex(args[1] if len(args) == 2 else ""))
        return ""
    if cmd == "stall":
        if args[1] not in ("0", "1"):
            raise ValueError("stall takes 0 or 1")
        p.stall(args[1] == "1")
        return ""
    if cmd == "rate":
        if not args[1].isdigit():
            raise ValueError("rate takes a number of bytes a second")
        p.set_rate(int(args[1]))
        return ""
    if cmd == "line":
        return p.line()
    if cmd == "alias":
        return attach_alias(p)
    n, ms = int(args[1]), int(args[2])
    return str(p.wait(n, ms))


def serve_client(conn, printers):
    with conn:
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        buf = b""
        while True:
            try:
                chunk = conn.recv(65536)
            except OSError:
                return
            if not chunk:
                return
            buf += chunk
            while b"\n" in buf:
                raw, buf = buf.split(b"\n", 1)
                try:
                    reply = "OK " + execute(printers, raw.decode("ascii").split())
                except Exception as e:  # any bad input becomes an ERR reply
                    reply = "ERR %s" % " ".join((str(e) or type(e).__name__).split())
                try:
                    conn.sendall(reply.rstrip(" ").encode("ascii", "replace") + b"\n")
                except OSError:
                    return


def accept_loop(server, printers):
    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve_client, args=(conn, printers), daemon=True).start()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0], epilog=HELP,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--dosdevices", required=True, help="<WINEPREFIX>/dosdevices")
    ap.add_argument("--printers", type=int, default=1)
    ap.add_argument("--ready-file", required=True)
    opts = ap.parse_args()

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    printers = [Printer() for _ in range(opts.printers)]
    try:
        attach_links(printers, opts.dosdevices)
        server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        server.bind(("127.0.0.1", 0))
        server.listen(16)
        threading.Thread(target=accept_loop, args=(server, printers), daemon=True).start()

        coms = ",".join("COM%d" % com_number(os.path.basename(p.link)) for p in printers)
        ready = "port=%d coms=%s\n" % (server.getsockname()[1], coms)
        tmp = "%s.%d.tmp" % (opts.ready_file, os.getpid())
        with open(tmp, "w") as f:
            f.write(ready)
        os.rename(tmp, opts.ready_file)
        if not FRAMING:
            print("note: this kernel keeps ptys at 8 bits, no parity; "
                  "'line' cannot report the host's data bits or parity", flush=True)
        print("ready: " + ready.strip() + " " +
              " ".join(p.link + "->" + p.tty_name for p in printers), flush=True)

        while not stop.wait(0.2):
            pass
    finally:
        detach_links(printers)
    return 0


if __name__ == "__main__":
    sys.exit(main())
