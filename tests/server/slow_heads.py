#!/usr/bin/env python3
"""One address's attack on a TLS front, bounded, for the nginx test.

    slow_heads.py CA_FILE HOST TLS_PORT SOURCE_ADDR CONNECTIONS SECONDS BODIES

For SECONDS, keeps CONNECTIONS connections open from SOURCE_ADDR: half stop
inside the TLS handshake (they connect and send nothing), half finish it and
send a request head one byte a second that would take minutes to end. A
connection the front cuts is replaced at once. Beside them, BODIES page
requests with whole heads whose bodies come one byte a second.

Prints one line of counts and exits 0 when the front cut every slow head of
the first round and refused the bodies past its per-address bound with an
answer (the bound is the bodies it kept); 1 otherwise.
"""
import asyncio
import ssl
import sys
import time


class Counts:
    def __init__(self):
        self.opened = 0
        self.cut = 0          # closed by the front before the head ended
        self.first_round_cut = 0
        self.failed = 0       # could not connect at all
        self.bodies_held = 0  # slow bodies still being taken at the end
        self.bodies_refused = 0


async def wait_closed(reader, seconds):
    """True when the front closed (or answered) within `seconds`."""
    try:
        await asyncio.wait_for(reader.read(1024), seconds)
        return True
    except asyncio.TimeoutError:
        return False
    except (OSError, ssl.SSLError):
        return True


async def slow_connection(index, args, counts, first):
    context, host, port, source, end = args
    handshake = index % 2 == 1
    head = b"GET / HTTP/1.1\r\nHost: localhost\r\nX-Slow: " + b"s" * 4000 + b"\r\n\r\n"
    while time.monotonic() < end:
        try:
            if handshake:
                reader, writer = await asyncio.open_connection(
                    host, port, ssl=context, server_hostname="localhost",
                    local_addr=(source, 0), ssl_handshake_timeout=30)
            else:
                reader, writer = await asyncio.open_connection(
                    host, port, local_addr=(source, 0))
        except (OSError, ssl.SSLError, asyncio.TimeoutError):
            counts.failed += 1
            await asyncio.sleep(0.2)
            continue
        counts.opened += 1
        at = 0
        cut = False
        while time.monotonic() < end:
            if handshake and at < len(head):
                writer.write(head[at:at + 1])
                at += 1
            if await wait_closed(reader, 1.0):
                cut = True
                break
        writer.close()
        if not cut:
            return
        counts.cut += 1
        if first:
            counts.first_round_cut += 1
            first = False


async def slow_body(context, host, port, source, end, counts):
    try:
        reader, writer = await asyncio.open_connection(
            host, port, ssl=context, server_hostname="localhost", local_addr=(source, 0))
    except (OSError, ssl.SSLError):
        counts.failed += 1
        return
    writer.write(b"POST /newuser.asp HTTP/1.1\r\nHost: localhost\r\n"
                 b"Content-Type: application/x-www-form-urlencoded\r\n"
                 b"Content-Length: 10000\r\n\r\n")
    while time.monotonic() < end:
        writer.write(b"n")
        if await wait_closed(reader, 1.0):
            counts.bodies_refused += 1
            writer.close()
            return
    counts.bodies_held += 1
    writer.close()


async def main():
    ca_file, host, port, source = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    connections, seconds, bodies = int(sys.argv[5]), float(sys.argv[6]), int(sys.argv[7])
    context = ssl.create_default_context(cafile=ca_file)
    end = time.monotonic() + seconds
    counts = Counts()
    args = (context, host, port, source, end)
    tasks = [slow_connection(i, args, counts, True) for i in range(connections)]
    tasks += [slow_body(context, host, port, source, end, counts) for _ in range(bodies)]
    try:
        await asyncio.wait_for(asyncio.gather(*tasks), seconds + 20)
    except asyncio.TimeoutError:
        print("the attack did not end", flush=True)
        return 1
    print("opened %d cut %d (first round %d of %d) failed %d bodies held %d refused %d" %
          (counts.opened, counts.cut, counts.first_round_cut, connections, counts.failed,
           counts.bodies_held, counts.bodies_refused), flush=True)
    ok = counts.first_round_cut == connections
    ok = ok and counts.bodies_held + counts.bodies_refused == bodies
    ok = ok and 0 < counts.bodies_held < bodies
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(asyncio.run(main()))
