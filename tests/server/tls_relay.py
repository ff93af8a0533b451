#!/usr/bin/env python3
"""A loopback relay into TLS, so that plain test clients reach a wss:// endpoint.

    tls_relay.py CA_FILE HOST TLS_PORT SOURCE_ADDR

Listens on a free loopback port (printed on the first line), and for each
connection opens TLS to HOST:TLS_PORT from SOURCE_ADDR, verifying the
server's certificate for the name "localhost" against CA_FILE, then copies
bytes both ways until either side closes. Runs until it is killed.
"""
import socket
import ssl
import sys
import threading
import time


def pump(source, sink):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            sink.sendall(data)
    except OSError:
        pass
    for s in (source, sink):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def relay(plain, context, host, port, source):
    # A connection that cannot reach the TLS side is closed, as a proxy would;
    # the relay goes on serving the next one.
    began = time.monotonic()
    try:
        raw = socket.create_connection((host, port), timeout=10, source_address=(source, 0))
        secure = context.wrap_socket(raw, server_hostname="localhost")
        secure.settimeout(None)
        print("relay: TLS up in %.3f s" % (time.monotonic() - began), file=sys.stderr, flush=True)
    except (OSError, ssl.SSLError) as error:
        print("relay: %s after %.3f s" % (error, time.monotonic() - began),
              file=sys.stderr, flush=True)
        plain.close()
        return
    threading.Thread(target=pump, args=(plain, secure), daemon=True).start()
    pump(secure, plain)


def serve(listener, context, host, port, source):
    while True:
        plain, _ = listener.accept()
        threading.Thread(target=relay, args=(plain, context, host, port, source),
                         daemon=True).start()


def main():
    ca_file, host, port, source = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    context = ssl.create_default_context(cafile=ca_file)
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    serve(listener, context, host, port, source)


if __name__ == "__main__":
    main()
