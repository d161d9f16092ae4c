#!/usr/bin/env python3
"""A small HTTP server on 127.0.0.1 for the HTTP client tests.

Usage: http_server.py <directory>
Prints the chosen port on one line. Each request is stored whole in <directory>/request.bin
before the answer goes out; the path picks the answer. The server ends when its standard
input closes (the test ended) or after 60 seconds, whichever comes first.
"""
import os
import socket
import sys
import threading
import time

LIFETIME = 60.0


def nibble(data):
    return "".join(chr(97 + (b >> 4)) + chr(97 + (b & 15)) for b in data)


def pattern(n):
    return bytes((i * 7 + 3) & 0xFF for i in range(n))


# Heads of /len-<name>.bin: header lines each ended by CR LF, the blank line added after.
LENGTH_HEADS = {
    "plain": b"Content-Length: 100\r\n",
    "tight": b"content-length:100\r\n",
    "spaced": b"CONTENT-LENGTH: \t100  \r\n",
    "twice": b"Content-Length: 100\r\nX-A: b\r\nContent-length: 100\r\n",
    "old": b"X-Old-Content-Length: 4\r\n",
    "inside": b"X-Note: Content-Length: 4\r\n",
    "negative": b"Content-Length: -5\r\n",
    "plus": b"Content-Length: +100\r\n",
    "empty": b"Content-Length:\r\n",
    "letters": b"Content-Length: 100abc\r\n",
    "split": b"Content-Length: 1 00\r\n",
    "hex": b"Content-Length: 0x64\r\n",
    "differ": b"Content-Length: 100\r\nContent-Length: 50\r\n",
    "spacebefore": b"Content-Length : 100\r\n",
    "zero": b"Content-Length: 0\r\n",
}


def read_request(conn):
    data = b""
    conn.settimeout(10)
    while b"\r\n\r\n" not in data and len(data) < 65536:
        chunk = conn.recv(4096)
        if not chunk:
            return data
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    while len(rest) < length:
        chunk = conn.recv(4096)
        if not chunk:
            break
        rest += chunk
    return head + b"\r\n\r\n" + rest


def wait_for_close(conn, seconds):
    conn.settimeout(seconds)
    try:
        while conn.recv(4096):
            pass
    except OSError:
        pass


def answer(conn, directory):
    request = read_request(conn)
    tmp = os.path.join(directory, "request.tmp")
    with open(tmp, "wb") as f:
        f.write(request)
    os.replace(tmp, os.path.join(directory, "request.bin"))
    line = request.split(b"\r\n", 1)[0].decode("latin-1")
    parts = line.split(" ")
    path = parts[1] if len(parts) > 1 else "/"

    if path in ("/page", "/ok"):
        body = ("status=ok&data=hello+world%21&metadata=zz&empty=&flag&hex=" + nibble(b"Hi\x00!")
                + "&odd=abc&bad=zz")
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body.encode()
                     + b"\r\nafter=line")
    elif path == "/index.html":
        conn.sendall(b"HTTP/1.0 200 OK\r\n\r\npage=index")
    elif path == "/notfound":
        conn.sendall(b"HTTP/1.0 404 Not Found\r\n\r\ndata=x")
    elif path == "/silent":
        wait_for_close(conn, 20)
    elif path == "/flood":
        conn.sendall(b"HTTP/1.0 200 OK\r\n\r\ndata=")
        chunk = b"a" * 65536
        try:
            for _ in range(128):  # at most 8 MB
                conn.sendall(chunk)
        except OSError:
            pass
    elif path == "/file.bin":
        body = pattern(3000)
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body))
        # In pieces, so the head and the body arrive apart.
        time.sleep(0.05)
        for i in range(0, len(body), 700):
            conn.sendall(body[i:i + 700])
    elif path == "/long.bin":
        conn.sendall(b"HTTP/1.0 200 OK\r\ncontent-length: 100\r\n\r\n" + pattern(300))
    elif path == "/short.bin":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + pattern(1000))
    elif path == "/huge.bin":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 4294967295\r\n\r\n" + pattern(100))
    elif path == "/nolength.bin":
        conn.sendall(b"HTTP/1.0 200 OK\r\n\r\n" + pattern(100))
    elif path == "/missing.bin":
        conn.sendall(b"HTTP/1.0 404 Not Found\r\nContent-Length: 10\r\n\r\n0123456789")
    elif path.startswith("/len-") and path[5:-4] in LENGTH_HEADS:
        # The same 100 bytes under a head whose length line varies.
        conn.sendall(b"HTTP/1.0 200 OK\r\n" + LENGTH_HEADS[path[5:-4]] + b"\r\n" + pattern(100))
    elif path == "/bigstall.bin":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 16777216\r\n\r\n" + pattern(10))
        wait_for_close(conn, 20)
    elif path == "/trickle.bin":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 200\r\n\r\n")
        for b in pattern(200):
            conn.sendall(bytes([b]))
            time.sleep(0.02)
    elif path == "/stall.bin":
        conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + pattern(10))
        wait_for_close(conn, 20)
    else:
        conn.sendall(b"HTTP/1.0 400 Bad Request\r\n\r\n")


def serve_one(conn, directory):
    try:
        answer(conn, directory)
    except OSError:
        pass
    finally:
        try:
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        conn.close()


def main():
    directory = sys.argv[1]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print(listener.getsockname()[1], flush=True)

    def watch_stdin():
        try:
            while sys.stdin.buffer.read(1):
                pass
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    deadline = time.monotonic() + LIFETIME
    listener.settimeout(0.5)
    while time.monotonic() < deadline:
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        threading.Thread(target=serve_one, args=(conn, directory), daemon=True).start()
    os._exit(0)


if __name__ == "__main__":
    main()
