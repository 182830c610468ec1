"""Receives UDP datagrams on a port and prints one JSON line for each:
source address and port, destination address (from IP_PKTINFO) and payload.
Stops after 0.5 s without a datagram once the first has come, or after the
seconds of its second argument (3 by default) without any."""
import json
import socket
import struct
import sys

IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)

port = int(sys.argv[1])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_IP, IP_PKTINFO, 1)
s.bind(("0.0.0.0", port))
print("ready", flush=True)
s.settimeout(float(sys.argv[2]) if len(sys.argv) > 2 else 3.0)
while True:
    try:
        data, anc, _flags, src = s.recvmsg(4096, 256)
    except socket.timeout:
        break
    dst = None
    for level, kind, value in anc:
        if level == socket.SOL_IP and kind == IP_PKTINFO:
            _ifindex, _spec, addr = struct.unpack("I4s4s", value[:12])
            dst = socket.inet_ntoa(addr)
    print(json.dumps({"src": src[0], "sport": src[1], "dst": dst, "data": data.hex()}), flush=True)
    s.settimeout(0.5)
