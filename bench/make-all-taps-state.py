#!/usr/bin/env python3
"""Writes the state file that the test host's timed render loads (render --state-in): every one of
the 32 taps on in both channels, every Ondula weight 1, the wave moving at a free rate and half
feedback, as in the benchmark's Stereo48k_AllTaps cases. The file is what the framework's VST3
hosting saves: its own XML block around the plug-in's state block, in the framework's base-64.

    bench/make-all-taps-state.py bench/AllTapsModulated.state
"""
import struct
import sys

ALL = "1" * 32
CURVE = "0 1 0&#10;"
PLUGIN_XML = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    "<top>"
    "<ondula>"
    + "".join(f'<{n} curve="{CURVE}"/>' for n in
              ("ondula_frequency", "ondula_bandwidth", "ondula_amplitude", "ondula_pan", "ondula_delay"))
    + "</ondula>"
    "<delay>"
    f'<delay_pattern pattern_l="{ALL}" pattern_r="{ALL}"/>'
    '<delay_globals_ondula amount="1.0" time_mode="0" velocity="0.7"/>'
    '<delay_globals_time feedback_amplitude="0.5"/>'
    "</delay>"
    "</top>"
)

TABLE = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+"


def xml_block(text):
    """The framework's XML-in-a-block: magic, text length with terminator, text, terminator."""
    data = text.encode("utf-8")
    return b"VC2!" + struct.pack("<I", len(data) + 1) + data + b"\0"


def base64(data):
    """The framework's own base-64: the byte count, a dot, then 6-bit groups little-endian."""
    bits = int.from_bytes(data, "little")
    chars = (len(data) * 8 + 5) // 6
    return f"{len(data)}." + "".join(TABLE[(bits >> (6 * i)) & 63] for i in range(chars))


def main():
    if len(sys.argv) != 2 or sys.argv[1].startswith("-"):
        print(__doc__.strip())
        sys.exit(0 if sys.argv[1:] in (["-h"], ["--help"]) else 2)

    component = base64(xml_block(PLUGIN_XML))
    host = ('<?xml version="1.0" encoding="UTF-8"?>\n\n'
            f"<VST3PluginState><IComponent>{component}</IComponent></VST3PluginState>\n")

    with open(sys.argv[1], "wb") as out:
        out.write(xml_block(host))


if __name__ == "__main__":
    main()
