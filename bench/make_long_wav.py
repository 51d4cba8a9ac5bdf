#!/usr/bin/env python3
"""Builds one long 16 kHz mono 16-bit WAV file for the vocoder benchmarks.

usage: make_long_wav.py OUT.wav SECONDS IN.wav...

The inputs are joined one after the other, and the whole series is repeated until the
result holds at least SECONDS seconds of samples. The output has a plain 44-byte header.
"""
import struct
import sys

RATE = 16000


def pcm_samples(path):
    """The bytes of the data chunk of a 16 kHz mono 16-bit PCM WAV file."""
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
            if fmt is None or fmt[0] != 1 or fmt[1] != 1 or fmt[2] != RATE or fmt[5] != 16:
                sys.exit('%s: not 16 kHz mono 16-bit PCM' % path)
            return body
        pos += 8 + size + (size & 1)
    sys.exit('%s: no data chunk' % path)


def main():
    if len(sys.argv) < 4:
        sys.exit('usage: make_long_wav.py OUT.wav SECONDS IN.wav...')
    out, seconds = sys.argv[1], float(sys.argv[2])
    series = b''.join(pcm_samples(path) for path in sys.argv[3:])
    if not series:
        sys.exit('make_long_wav.py: the inputs hold no samples')
    data = b''
    while len(data) < seconds * RATE * 2:
        data += series
    header = b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt ' + \
        struct.pack('<IHHIIHH', 16, 1, 1, RATE, 2 * RATE, 2, 16) + b'data' + struct.pack('<I', len(data))
    with open(out, 'wb') as f:
        f.write(header + data)


if __name__ == '__main__':
    main()
