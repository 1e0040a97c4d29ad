#!/usr/bin/python3
"""Writes the browser build's pages: index.html beside oddball.js and
oddball.wasm, and oddball.html, the same page with the script and the module
inside it, compressed, unpacked by the browser's own DecompressionStream.

usage: make_pages.py PAGE.html BUILD_DIR"""
import base64
import gzip
import os
import sys

SCRIPT_TAG = '<script src="oddball.js"></script>'


def gz(data):
    return gzip.compress(data, compresslevel=9, mtime=0)


def main():
    page_path, build = sys.argv[1], sys.argv[2]
    with open(page_path, encoding='utf-8') as f:
        page = f.read()
    if SCRIPT_TAG not in page:
        sys.exit('make_pages: %s has no %s' % (page_path, SCRIPT_TAG))
    with open(os.path.join(build, 'index.html'), 'w', encoding='utf-8') as f:
        f.write(page)
    with open(os.path.join(build, 'oddball.js'), 'rb') as f:
        script = f.read()
    with open(os.path.join(build, 'oddball.wasm'), 'rb') as f:
        module = f.read()
    # One compressed block: the module, then the script; its first four
    # bytes give the module's length.
    packed = base64.b64encode(gz(len(module).to_bytes(4, 'little') + module + script)).decode()
    loader = ('<script>(async()=>{let b=Uint8Array.from(atob("%s"),c=>c.charCodeAt(0)),'
              'd=new Uint8Array(await new Response(new Blob([b]).stream().pipeThrough('
              'new DecompressionStream("gzip"))).arrayBuffer()),n=new DataView(d.buffer).getUint32(0,1),'
              's=document.createElement("script");self.oddballWasm=d.subarray(4,4+n);'
              's.src=URL.createObjectURL(new Blob([d.subarray(4+n)]));document.body.append(s)})()</script>'
              % packed)
    single = page.replace(SCRIPT_TAG, loader).encode()
    with open(os.path.join(build, 'oddball.html'), 'wb') as f:
        f.write(single)
    served = len(gz(page.encode())) + len(gz(script)) + len(gz(module))
    print('make_pages: index.html, oddball.js and oddball.wasm gzipped: %d bytes; oddball.html: %d bytes '
          '(the aim: 65,536 each)' % (served, len(single)))


if __name__ == '__main__':
    main()
