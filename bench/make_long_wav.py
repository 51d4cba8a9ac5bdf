#!/usr/bin/env python3
"""Builds one long mono 16-bit WAV file for the vocoder benchmarks, at 16 kHz or another rate.

usage: make_long_wav.py [--rate=HZ] OUT.wav SECONDS IN.wav...

The inputs are joined one after the other, and the whole series is repeated until the
result holds at least SECONDS seconds of samples. The output has a plain 44-byte header.
"""
import math
import struct
import sys

def pcm_samples(path, rate):
    """The bytes of the data chunk of a mono 16-bit PCM WAV file at the rate."""
    data = open(path, 'rb').read()
    if data[0:4] != b'RIFF' or data[8:12] != b'WAVE':
        sys.exit('%s: not a RIFF/WAVE file' % path)
    pos, fmt = 12, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b'fmt ':
            fmt = struct.unpack('<HHIIHH', body[:16])
        elif tag == b'data':
            if fmt is None or fmt[0] != 1 or fmt[1] != 1 or fmt[2] != rate or fmt[5] != 16:
                sys.exit('%s: not %d Hz mono 16-bit PCM' % (path, rate))
            return body
        pos += 8 + size + (size & 1)
    sys.exit('%s: no data chunk' % path)


def main():
    args = sys.argv[1:]
    rate = 16000
    if args and args[0].startswith('--rate='):
        rate = int(args.pop(0)[len('--rate='):])
    if len(args) < 3:
        sys.exit('usage: make_long_wav.py [--rate=HZ] OUT.wav SECONDS IN.wav...')
    out, seconds = args[0], float(args[1])
    series = b''.join(pcm_samples(path, rate) for path in args[2:])
    if not series:
        sys.exit('make_long_wav.py: the inputs hold no samples')
    copies = max(1, math.ceil(seconds * rate * 2 / len(series)))
    data = series * copies
    header = b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt ' + \
        struct.pack('<IHHIIHH', 16, 1, 1, rate, 2 * rate, 2, 16) + b'data' + struct.pack('<I', len(data))
    with open(out, 'wb') as f:
        f.write(header + data)


if __name__ == '__main__':
    main()
