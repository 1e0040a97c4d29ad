#!/usr/bin/python3
"""Writes the browser build's payload and pages.

The payload is the show's module (its data segments merged into one, so the
packer sees its tables whole) followed by its script, packed by
oddball-web-pack.  oddball.pack is the unpacker module (size/stubs/web_unpack.c),
gzipped for the browser's DecompressionStream, followed by that packed
payload.  index.html fetches oddball.pack;
oddball.html carries it inside, in a script's template literal read in the
windows-1252 encoding, where every byte stands for itself and only a few
need an escape.  Both run the same loader (loader.js).

usage: make_pages.py PAGE.html LOADER.js BUILD_DIR PACKER"""
import gzip
import os
import subprocess
import sys

SCRIPT_TAG = '<script src="oddball.js"></script>'
CHARSET = '<meta charset="utf-8">'
LIMIT = 65536


def leb(data, at):
    """An unsigned LEB128 number at `at`: (value, where it ends)."""
    value = shift = 0
    while True:
        byte = data[at]
        at += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            return value, at


def uleb(value):
    out = bytearray()
    while True:
        byte, value = value & 0x7F, value >> 7
        out.append(byte | (0x80 if value else 0))
        if not value:
            return bytes(out)


def sleb(value):
    out = bytearray()
    while True:
        byte, value = value & 0x7F, value >> 7
        if (value == 0 and not byte & 0x40) or (value == -1 and byte & 0x40):
            out.append(byte)
            return bytes(out)
        out.append(byte | 0x80)


def merge_data_segments(module):
    """The module with its active data segments (each `i32.const OFFSET`) made
    one, the gaps between them zeros as they are in memory anyway; the data
    count section follows."""
    out, at = bytearray(module[:8]), 8
    while at < len(module):
        section = module[at]
        size, start = leb(module, at + 1)
        body = module[start:start + size]
        if section == 11:
            count, k = leb(body, 0)
            segments = []
            for _ in range(count):
                if body[k] != 0 or body[k + 1] != 0x41:
                    return module  # not the one kind of segment emscripten writes: left as it is
                offset, k = leb(body, k + 2)
                if body[k] != 0x0B:
                    return module
                length, k = leb(body, k + 1)
                segments.append((offset, body[k:k + length]))
                k += length
            first = min(offset for offset, _ in segments)
            memory = bytearray(max(offset + len(data) for offset, data in segments) - first)
            for offset, data in segments:
                memory[offset - first:offset - first + len(data)] = data
            body = uleb(1) + b'\x00\x41' + sleb(first) + b'\x0b' + uleb(len(memory)) + bytes(memory)
        elif section == 12:
            body = uleb(1)
        out += bytes([section]) + uleb(len(body)) + body
        at = start + size
    return bytes(out)


def js_template(data):
    """`data` as the inside of a script's template literal whose bytes are read
    as windows-1252: escaped where the script or the page's parser would
    change them (zero, carriage return, backslash, backquote, the '$' of '${',
    the '<' of '</' and '<!')."""
    out = bytearray()
    for i, byte in enumerate(data):
        following = data[i + 1] if i + 1 < len(data) else 0
        if byte == 0:
            out += b'\\x00' if 0x30 <= following <= 0x39 else b'\\0'
        elif byte == 0x0D:
            out += b'\\r'
        elif byte in (0x5C, 0x60) or (byte == 0x24 and following == 0x7B):
            out += b'\\' + bytes([byte])
        elif byte == 0x3C and following in (0x21, 0x2F):
            out += b'<\\'
        else:
            out.append(byte)
    return bytes(out)


def gz(data):
    return gzip.compress(data, compresslevel=9, mtime=0)


def main():
    page_path, loader_path, build, packer = sys.argv[1:5]
    with open(page_path, encoding='ascii') as f:
        page = f.read()
    if SCRIPT_TAG not in page or CHARSET not in page:
        sys.exit('make_pages: %s has no %s or no %s' % (page_path, SCRIPT_TAG, CHARSET))
    with open(loader_path, encoding='ascii') as f:
        loader = ''.join(line.strip() for line in f if not line.startswith('//'))
    with open(os.path.join(build, 'oddball.wasm'), 'rb') as f:
        module = merge_data_segments(f.read())
    with open(os.path.join(build, 'oddball.js'), 'rb') as f:
        script = f.read()
    with open(os.path.join(build, 'oddball-unpack.wasm'), 'rb') as f:
        unpacker = gz(f.read())

    payload_path = os.path.join(build, 'payload.bin')
    with open(payload_path, 'wb') as f:
        f.write(len(module).to_bytes(4, 'little') + module + script)
    packed_path = os.path.join(build, 'payload.packed')
    subprocess.run([packer, payload_path, packed_path], check=True)
    with open(packed_path, 'rb') as f:
        pack = len(unpacker).to_bytes(4, 'little') + unpacker + f.read()
    with open(os.path.join(build, 'oddball.pack'), 'wb') as f:
        f.write(pack)

    fetched = loader.replace('PACK', 'fetch("oddball.pack").then(r=>r.arrayBuffer()).then(b=>new Uint8Array(b))')
    index = page.replace(SCRIPT_TAG, '<script>%s</script>' % fetched).encode('ascii')
    with open(os.path.join(build, 'index.html'), 'wb') as f:
        f.write(index)

    # The bytes of the literal, read back: those below 256 are their own
    # code; 0x80 to 0x9F are the characters windows-1252 gives them.
    held = ('(t=>Uint8Array.from(S,c=>(c=c.charCodeAt())<256?c:128+t.indexOf(String.fromCharCode(c))))'
            '(new TextDecoder("windows-1252").decode(Uint8Array.from({length:32},(_,i)=>i+128)))')
    single = (page.replace(CHARSET, '<meta charset="windows-1252">')
              .replace(SCRIPT_TAG, '<script>let S=`\0`;%s</script>' % loader.replace('PACK', held))
              .encode('ascii'))
    single = single.replace(b'\0', js_template(pack))
    with open(os.path.join(build, 'oddball.html'), 'wb') as f:
        f.write(single)

    served = len(gz(index)) + len(gz(pack))
    print('make_pages: index.html and oddball.pack gzipped: %d bytes; oddball.html: %d bytes '
          '(the aim: %d each)' % (served, len(single), LIMIT))


if __name__ == '__main__':
    main()
