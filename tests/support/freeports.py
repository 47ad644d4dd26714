"""Loopback ports for the Python tests that start websvr."""
import socket


def free_ports(count):
    """count different loopback ports nobody listens on at the moment of asking."""
    held = [socket.socket() for _ in range(count)]
    try:
        for s in held:
            s.bind(("127.0.0.1", 0))
        return [s.getsockname()[1] for s in held]
    finally:
        for s in held:
            s.close()
