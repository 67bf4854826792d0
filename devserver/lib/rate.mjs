// A transfer rate limit, so that a client's progress can be watched on loopback, where
// everything else arrives at once.
import { Readable, Transform } from 'node:stream';
import { setTimeout as sleep } from 'node:timers/promises';

// Paths whose answers are transfers; uploads are the bodies of the two upload paths.
const DOWNLOADS = ['/files/', '/pictures/', '/download/'];
const UPLOADS = ['/rest/file/chat', '/rest/file'];

const pathOf = (url) => url.split('?')[0];

export class RateLimit {
    constructor(bytesPerSecond = 0) {
        this.rule = null;
        if (bytesPerSecond) this.set({ bytesPerSecond });
    }

    // {bytesPerSecond, path?}: without a path every download and upload body; with one the
    // answers (and upload bodies) under that prefix. 0 or null clears.
    set({ bytesPerSecond, path } = {}) {
        const bps = bytesPerSecond === null || bytesPerSecond === undefined ? 0 : Number(bytesPerSecond);
        if (!Number.isInteger(bps) || bps < 0) throw new Error('bytesPerSecond must be a whole number, 0 or more');
        if (path !== undefined && path !== null && (typeof path !== 'string' || !path.startsWith('/'))) {
            throw new Error('path must start with /');
        }
        this.rule = bps ? { bytesPerSecond: bps, path: path || null } : null;
        return this.rule;
    }

    forAnswer(url) {
        const r = this.rule;
        if (!r) return 0;
        const p = pathOf(url);
        return (r.path ? p.startsWith(r.path) : DOWNLOADS.some((d) => p.startsWith(d))) ? r.bytesPerSecond : 0;
    }

    forUpload(url) {
        const r = this.rule;
        if (!r) return 0;
        const p = pathOf(url);
        return UPLOADS.includes(p) && (!r.path || p.startsWith(r.path)) ? r.bytesPerSecond : 0;
    }
}

// Passes bytes on no faster than bytesPerSecond, in slices of a twentieth of a second, counted
// from the first byte.
export function throttle(bytesPerSecond) {
    const slice = Math.max(1, Math.floor(bytesPerSecond / 20));
    let start = 0;
    let sent = 0;
    return new Transform({
        async transform(chunk, _enc, done) {
            if (!start) start = Date.now();
            for (let off = 0; off < chunk.length; off += slice) {
                const wait = start + (sent * 1000) / bytesPerSecond - Date.now();
                if (wait > 0) await sleep(wait);
                if (this.destroyed) return done();
                const piece = chunk.subarray(off, off + slice);
                sent += piece.length;
                this.push(piece);
            }
            return done();
        },
    });
}

// A payload of any kind that fastify sends (string, buffer, stream, nothing) as a stream.
export function payloadStream(payload) {
    if (payload && typeof payload.pipe === 'function') return payload;
    const body = payload === null || payload === undefined ? Buffer.alloc(0) : Buffer.from(payload);
    return Readable.from([body], { objectMode: false });
}

export function payloadLength(payload) {
    if (payload === null || payload === undefined) return 0;
    if (typeof payload === 'string' || Buffer.isBuffer(payload)) return Buffer.byteLength(payload);
    return null;
}
