// Pictures without native code: deterministic PNG avatars and sample pictures (pngjs), image
// size detection, and thumbnails of PNG and JPEG uploads (box-filter downscale).
import jpeg from 'jpeg-js';
import { PNG } from 'pngjs';
import { Prng, hashString } from './prng.mjs';

function hsl(h, s, l) {
    const a = s * Math.min(l, 1 - l);
    const f = (n) => {
        const k = (n + h / 30) % 12;
        return Math.round(255 * (l - a * Math.max(-1, Math.min(k - 3, 9 - k, 1))));
    };
    return [f(0), f(8), f(4)];
}

function canvas(w, h, [r, g, b]) {
    const png = new PNG({ width: w, height: h });
    for (let i = 0; i < w * h; i++) {
        png.data[4 * i] = r; png.data[4 * i + 1] = g; png.data[4 * i + 2] = b; png.data[4 * i + 3] = 255;
    }
    return png;
}

function fillRect(png, x0, y0, w, h, [r, g, b]) {
    for (let y = Math.max(0, y0); y < Math.min(png.height, y0 + h); y++) {
        for (let x = Math.max(0, x0); x < Math.min(png.width, x0 + w); x++) {
            const i = 4 * (y * png.width + x);
            png.data[i] = r; png.data[i + 1] = g; png.data[i + 2] = b;
        }
    }
}

function fillCircle(png, cx, cy, rad, [r, g, b]) {
    for (let y = Math.max(0, cy - rad); y < Math.min(png.height, cy + rad); y++) {
        for (let x = Math.max(0, cx - rad); x < Math.min(png.width, cx + rad); x++) {
            if ((x - cx) ** 2 + (y - cy) ** 2 > rad * rad) continue;
            const i = 4 * (y * png.width + x);
            png.data[i] = r; png.data[i + 1] = g; png.data[i + 2] = b;
        }
    }
}

// A symmetric 5x5 pattern in a colour derived from the key: the same key gives the same bytes.
export function avatarPng(key, size) {
    const h = hashString(String(key));
    const rng = new Prng(h);
    const fg = hsl(h % 360, 0.55, 0.45);
    const png = canvas(size, size, hsl(h % 360, 0.35, 0.92));
    const cell = Math.floor(size / 6);
    const margin = Math.floor((size - 5 * cell) / 2);
    for (let y = 0; y < 5; y++) {
        for (let x = 0; x < 3; x++) {
            if (!rng.chance(0.5)) continue;
            fillRect(png, margin + x * cell, margin + y * cell, cell, cell, fg);
            fillRect(png, margin + (4 - x) * cell, margin + y * cell, cell, cell, fg);
        }
    }
    return PNG.sync.write(png);
}

// A landscape-like sample picture for seeded history, the demo member and the control interface.
export function samplePicture(seed, width = 480, height = 320) {
    const rng = new Prng(seed);
    const png = canvas(width, height, hsl(rng.int(180, 230), 0.6, 0.75));
    fillRect(png, 0, Math.floor(height * 0.65), width, height, hsl(rng.int(80, 140), 0.45, 0.45));
    fillCircle(png, rng.int(40, width - 40), rng.int(30, Math.floor(height / 3)), 28, [250, 210, 80]);
    for (let i = 0; i < 6; i++) {
        fillCircle(png, rng.int(0, width), Math.floor(height * 0.65), rng.int(20, 70),
            hsl(rng.int(90, 150), 0.4, 0.3));
    }
    return PNG.sync.write(png);
}

export function imageKind(buf) {
    if (buf.length >= 24 && buf.readUInt32BE(0) === 0x89504e47) return 'png';
    if (buf.length >= 4 && buf[0] === 0xff && buf[1] === 0xd8) return 'jpeg';
    if (buf.length >= 10 && buf.subarray(0, 3).toString('latin1') === 'GIF') return 'gif';
    if (buf.length >= 26 && buf.subarray(0, 2).toString('latin1') === 'BM') return 'bmp';
    return null;
}

// Width and height from the file header, or null when the bytes are not a known picture.
export function imageSize(buf) {
    switch (imageKind(buf)) {
    case 'png': return { width: buf.readUInt32BE(16), height: buf.readUInt32BE(20) };
    case 'gif': return { width: buf.readUInt16LE(6), height: buf.readUInt16LE(8) };
    case 'bmp': return { width: Math.abs(buf.readInt32LE(18)), height: Math.abs(buf.readInt32LE(22)) };
    case 'jpeg': {
        let i = 2;
        while (i + 9 < buf.length) {
            if (buf[i] !== 0xff) { i++; continue; }
            const marker = buf[i + 1];
            if (marker === 0xd8 || marker === 0x01 || (marker >= 0xd0 && marker <= 0xd7)) { i += 2; continue; }
            const len = buf.readUInt16BE(i + 2);
            if ((marker >= 0xc0 && marker <= 0xcf) && marker !== 0xc4 && marker !== 0xc8 && marker !== 0xcc) {
                return { width: buf.readUInt16BE(i + 7), height: buf.readUInt16BE(i + 5) };
            }
            i += 2 + len;
        }
        return null;
    }
    default: return null;
    }
}

function decodeRgba(buf) {
    const kind = imageKind(buf);
    if (kind === 'png') {
        const png = PNG.sync.read(buf);
        return { width: png.width, height: png.height, data: png.data };
    }
    if (kind === 'jpeg') {
        const img = jpeg.decode(buf, { useTArray: true, maxResolutionInMP: 64, maxMemoryUsageInMB: 512 });
        return { width: img.width, height: img.height, data: img.data };
    }
    return null;
}

// A PNG no larger than max x max, or null when the picture cannot be decoded here (the caller
// then serves the original as its own thumbnail).
export function thumbnailPng(buf, max = 200) {
    let src;
    try {
        src = decodeRgba(buf);
    } catch {
        return null;
    }
    if (!src || src.width < 1 || src.height < 1) return null;
    const scale = Math.min(1, max / Math.max(src.width, src.height));
    const w = Math.max(1, Math.round(src.width * scale));
    const h = Math.max(1, Math.round(src.height * scale));
    const out = new PNG({ width: w, height: h });
    for (let y = 0; y < h; y++) {
        const sy0 = Math.floor(y * src.height / h), sy1 = Math.max(sy0 + 1, Math.floor((y + 1) * src.height / h));
        for (let x = 0; x < w; x++) {
            const sx0 = Math.floor(x * src.width / w), sx1 = Math.max(sx0 + 1, Math.floor((x + 1) * src.width / w));
            let r = 0, g = 0, b = 0, a = 0, n = 0;
            for (let sy = sy0; sy < sy1; sy++) {
                for (let sx = sx0; sx < sx1; sx++) {
                    const i = 4 * (sy * src.width + sx);
                    r += src.data[i]; g += src.data[i + 1]; b += src.data[i + 2]; a += src.data[i + 3]; n++;
                }
            }
            const o = 4 * (y * w + x);
            out.data[o] = r / n; out.data[o + 1] = g / n; out.data[o + 2] = b / n; out.data[o + 3] = a / n;
        }
    }
    return { png: PNG.sync.write(out), width: w, height: h };
}
