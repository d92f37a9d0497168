#!/usr/bin/env python3
"""Writes the check's input signal and compares Ardour's exports (standard library only).

  wavtool.py input KIND RATE SECONDS LEFT.wav RIGHT.wav
      KIND: clicks (a 64-sample noise burst every 0.5 s) or noise (1 s of noise, then silence).
      The same signal goes to both channels, as 32-bit float mono files of SECONDS * RATE samples.
  wavtool.py compare RATE KIND LABEL=FILE...
      The first file is the reference. Each other buffer size's first run is compared with the
      reference, and each further run with the first run at its buffer size. KIND is the input
      the exports were made from (the first echo is looked for only after clicks).
"""

import math
import random
import struct
import sys
from array import array

BURST = 64


def write_mono_float(path, samples, rate):
    data = array("f", samples)
    if sys.byteorder != "little":
        data.byteswap()
    body = data.tobytes()
    fmt = struct.pack("<HHIIHH", 3, 1, rate, rate * 4, 4, 32)
    fact = struct.pack("<I", len(samples))
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(fact) + 8 + len(body)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"fact" + struct.pack("<I", len(fact)) + fact)
        f.write(b"data" + struct.pack("<I", len(body)) + body)


def read_float_wav(path):
    """Returns (rate, channels, interleaved samples) of a 32-bit float WAV; refuses anything else."""
    with open(path, "rb") as f:
        blob = f.read()
    if len(blob) < 12 or blob[0:4] != b"RIFF" or blob[8:12] != b"WAVE":
        raise ValueError(f"{path}: not a RIFF/WAVE file")
    pos, fmt, data = 12, None, None
    while pos + 8 <= len(blob):
        cid = blob[pos:pos + 4]
        size = struct.unpack_from("<I", blob, pos + 4)[0]
        start, end = pos + 8, min(pos + 8 + size, len(blob))
        if cid == b"fmt " and size >= 16:
            fmt = struct.unpack_from("<HHIIHH", blob, start)
            if fmt[0] == 0xFFFE and size >= 40:  # extensible: the sub-format's first two bytes
                fmt = (struct.unpack_from("<H", blob, start + 24)[0],) + fmt[1:]
        elif cid == b"data":
            data = blob[start:end]
        pos = start + size + (size & 1)
    if fmt is None or data is None:
        raise ValueError(f"{path}: no fmt or data chunk")
    tag, channels, rate, _, _, bits = fmt
    if tag != 3 or bits != 32 or channels < 1:
        raise ValueError(f"{path}: not 32-bit float (format {tag}, {bits} bits)")
    samples = array("f")
    samples.frombytes(data[: len(data) // 4 * 4])
    if sys.byteorder != "little":
        samples.byteswap()
    return rate, channels, samples


def make_input(kind, rate, seconds, left, right):
    n = int(round(seconds * rate))
    rng = random.Random(1234)
    if kind == "clicks":
        period = rate // 2
        sig = [0.5 * (rng.random() * 2 - 1) if i % period < BURST else 0.0 for i in range(n)]
    elif kind == "noise":
        sig = [0.5 * (rng.random() * 2 - 1) if i < rate else 0.0 for i in range(n)]
    else:
        raise SystemExit(f"unknown input kind {kind!r}")
    write_mono_float(left, sig, rate)
    write_mono_float(right, sig, rate)


def db(ratio):
    return 10 * math.log10(ratio) if ratio > 0 else -math.inf


def echo_onset(samples, channels, rate, threshold=1e-3):
    """First frame at -60 dBFS or more outside the input's bursts (and 1 ms after each), where only
    echoes can sound: with the dry path open the bursts themselves pass, and a wet level of 0 at
    the start would otherwise make the next burst look like the first echo."""
    period, quiet_from = rate // 2, BURST + rate // 1000
    for i in range(len(samples)):
        if abs(samples[i]) >= threshold and (i // channels) % period >= quiet_from:
            return i // channels
    return None


def window_levels(samples, channels, frames):
    """Level in dB of each channel's consecutive windows: [channel][window]."""
    levels = []
    for c in range(channels):
        ch = samples[c::channels]
        levels.append([db(sum(x * x for x in ch[s:s + frames]) / len(ch[s:s + frames]))
                       for s in range(0, len(ch), frames)])
    return levels


def compare_pair(a, b, channels, rate):
    """a against the reference b: residual, largest difference, first differing time, worst window."""
    n = min(len(a), len(b))
    diff = [a[i] - b[i] for i in range(n)]
    err = sum(d * d for d in diff)
    ref = sum(x * x for x in b[:n])
    largest = max((abs(d) for d in diff), default=0.0)
    first = next((i for i, d in enumerate(diff) if d != 0.0), None)
    half = rate // 2
    worst, worst_at = 0.0, None
    for la, lb in zip(window_levels(a[:n], channels, half), window_levels(b[:n], channels, half)):
        for w, (x, y) in enumerate(zip(la, lb)):
            if max(x, y) < -100:  # both silent: no level to compare
                continue
            d = abs(x - y) if math.isfinite(x) and math.isfinite(y) else math.inf
            if d > worst:
                worst, worst_at = d, w * 0.5
    return {
        "residual": db(err / ref) if ref > 0 else (-math.inf if err == 0 else math.inf),
        "largest": largest,
        "first": None if first is None else (first // channels) / rate,
        "worst": worst,
        "worst_at": worst_at,
    }


def fmt_db(v):
    if v == -math.inf:
        return "identical"
    return "inf" if v == math.inf else f"{v:+.1f} dB"


def show(v):
    return "none" if v is None else str(v)


def compare(rate, kind, items):
    files = []
    for item in items:
        label, _, path = item.partition("=")
        r, ch, s = read_float_wav(path)
        if r != rate:
            raise SystemExit(f"{path}: exported at {r} Hz, expected {rate}")
        if not files:
            channels, length = ch, len(s)
        elif ch != channels or len(s) != length:
            raise SystemExit(f"{path}: {ch} channels, {len(s) // ch} frames; the reference has {channels}, {length // channels}")
        buffer, _, run = label.partition("#")
        files.append((label, buffer, run, s))

    if not any(files[0][3]):
        raise SystemExit(f"{files[0][0]}: the export is silent; the session did not play")
    clicks = kind == "clicks"
    onsets = {f[0]: (echo_onset(f[3], channels, rate) if clicks else None) for f in files}
    firsts = {}
    for label, buffer, run, s in files:
        firsts.setdefault(buffer, (label, s))
    ref_label, ref = files[0][0], files[0][3]
    pairs = []
    for buffer, (label, s) in firsts.items():
        if label != ref_label:
            pairs.append((label, ref_label, s, ref))
    for label, buffer, run, s in files:
        if label != firsts[buffer][0]:
            pairs.append((label, firsts[buffer][0], s, firsts[buffer][1]))

    rows = [("export", "against", "residual", "largest diff", "first echo (both)", "differs from", "worst 0.5 s window")]
    for label, other, s, r in pairs:
        m = compare_pair(s, r, channels, rate)
        echo = f"{show(onsets[label])} / {show(onsets[other])}" if clicks else "-"
        rows.append((
            label, other, fmt_db(m["residual"]), f"{m['largest']:.4g}", echo,
            "-" if m["first"] is None else f"{m['first']:.3f} s",
            "-" if m["worst_at"] is None else f"{m['worst']:.2f} dB at {m['worst_at']:.1f} s",
        ))
    if len(rows) == 1:
        rows.append((ref_label, "-", "-", "-", show(onsets[ref_label]) if clicks else "-", "-", "-"))
    widths = [max(len(r[i]) for r in rows) for i in range(len(rows[0]))]
    for k, r in enumerate(rows):
        print("| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |")
        if k == 0:
            print("|" + "|".join("-" * (w + 2) for w in widths) + "|")

    # Repeated exports that differ tend to fall into a few sets of identical files.
    for buffer in firsts:
        runs = [(run, s.tobytes()) for label, b, run, s in files if b == buffer]
        if len(runs) < 2:
            continue
        groups = {}
        for run, blob in runs:
            groups.setdefault(blob, []).append(run)
        print(f"{buffer}: {len(groups)} distinct export(s) in {len(runs)} runs: "
              + " | ".join(" ".join(g) for g in groups.values()))


def main(argv):
    if len(argv) >= 6 and argv[0] == "input":
        make_input(argv[1], int(argv[2]), float(argv[3]), argv[4], argv[5])
    elif len(argv) >= 4 and argv[0] == "compare":
        compare(int(argv[1]), argv[2], argv[3:])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
