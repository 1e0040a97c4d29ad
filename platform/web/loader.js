// The pages' loader (make_pages.py puts it in place of the module's script,
// without these comment lines): unpacks the payload with the unpacker
// module that comes ahead of it (gzipped, for the browser's own
// DecompressionStream), then hands the show's module to its script
// (page.js reads self.oddballWasm) and starts that script.  PACK is where
// the packed bytes come from: the file beside the page, or the page itself.
// A failure (say index.html opened as a file, which cannot fetch) is told
// on the start card.
(async () => {
let p = await PACK, n = new DataView(p.buffer, p.byteOffset).getUint32(0, 1),
    u = (await WebAssembly.instantiate(await new Response(new Blob([p.subarray(4, 4 + n)]).stream()
        .pipeThrough(new DecompressionStream("gzip"))).arrayBuffer())).instance.exports,
    q = p.subarray(4 + n);
new Uint8Array(u.memory.buffer).set(q, u.unpack_input(q.length));
let d = new Uint8Array(u.memory.buffer, u.unpack(q.length), new DataView(q.buffer, q.byteOffset).getUint32(0, 1)),
    m = new DataView(d.buffer, d.byteOffset).getUint32(0, 1), s = document.createElement("script");
self.oddballWasm = d.slice(4, 4 + m);
s.src = URL.createObjectURL(new Blob([d.subarray(4 + m)]));
document.body.append(s);
})().catch(e => document.getElementById("start").textContent = "oddball could not start: " + e)
