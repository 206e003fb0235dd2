#!/usr/bin/env python3
"""A loopback TCP proxy that adds a round-trip time, for the benchmarks.

    latency_proxy.py LISTEN_PORT UPSTREAM_PORT RTT_MS [--count-file FILE]
                     [--cut-every BYTES] [--bytes-file FILE]

Listens on 127.0.0.1:LISTEN_PORT and relays to 127.0.0.1:UPSTREAM_PORT. Every
connection's set-up costs one round trip before anything is relayed, as a TCP
handshake over a real network does, and every piece of data, in either
direction, arrives half a round trip after it was sent, in order and
pipelined (later pieces do not wait for earlier ones to arrive). It writes the
number of connections it has accepted to FILE after each one.

With --cut-every, each connection is closed once BYTES have gone from the
server to the client over it, as a line that drops does; --bytes-file gets
the total of those bytes after each piece.
"""
import argparse
import asyncio


class Proxy:
    def __init__(self, upstream, rtt, count_file, cut_every=None, bytes_file=None):
        self.upstream = upstream
        self.cut_every = cut_every
        self.bytes_file = bytes_file
        self.delivered = 0
        self.half = rtt / 2.0
        self.rtt = rtt
        self.count_file = count_file
        self.accepted = 0

    async def pump(self, reader, writer, to_client=False):
        loop = asyncio.get_running_loop()
        relayed = 0
        queue = asyncio.Queue()

        async def deliver():
            while True:
                due, data = await queue.get()
                wait = due - loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                if data is None:
                    if writer.can_write_eof():
                        writer.write_eof()
                    return
                writer.write(data)
                await writer.drain()

        delivering = asyncio.create_task(deliver())
        try:
            while True:
                data = await reader.read(65536)
                cut = False
                if to_client and data:
                    if self.cut_every and relayed + len(data) >= self.cut_every:
                        data, cut = data[:self.cut_every - relayed], True
                    relayed += len(data)
                    self.count_delivered(len(data))
                queue.put_nowait((loop.time() + self.half, data or None))
                if cut:
                    queue.put_nowait((loop.time() + self.half, None))
                if not data or cut:
                    break
            await delivering
        except (ConnectionError, OSError):
            pass
        finally:
            if not delivering.done():
                delivering.cancel()

    def count_delivered(self, count):
        self.delivered += count
        if self.bytes_file:
            with open(self.bytes_file, "w") as f:
                f.write("%d\n" % self.delivered)

    async def connect(self, client_reader, client_writer):
        self.accepted += 1
        if self.count_file:
            with open(self.count_file, "w") as f:
                f.write("%d\n" % self.accepted)
        try:
            if self.rtt:
                await asyncio.sleep(self.rtt)
            upstream_reader, upstream_writer = await asyncio.open_connection("127.0.0.1", self.upstream)
            to_server = asyncio.create_task(self.pump(client_reader, upstream_writer))
            await self.pump(upstream_reader, client_writer, to_client=True)
            if self.cut_every:
                to_server.cancel()  # the line is gone both ways
            else:
                await to_server
            upstream_writer.close()
        except (ConnectionError, OSError):
            pass
        finally:
            client_writer.close()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("listen", type=int)
    parser.add_argument("upstream", type=int)
    parser.add_argument("rtt_ms", type=float)
    parser.add_argument("--count-file")
    parser.add_argument("--cut-every", type=int)
    parser.add_argument("--bytes-file")
    args = parser.parse_args()
    proxy = Proxy(args.upstream, args.rtt_ms / 1000.0, args.count_file, args.cut_every, args.bytes_file)
    server = await asyncio.start_server(proxy.connect, "127.0.0.1", args.listen)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
