// Failures of the served paths on demand: an error answer (with or without a body), an answer
// with a body given verbatim, a request that gets no answer, or an answer that stops after its
// first bytes — each until the fault is cleared.
import { PassThrough, Readable } from 'node:stream';
import { buffer } from 'node:stream/consumers';

const MODES = ['error', 'hang', 'body', 'stall'];

export class Faults {
    constructor() {
        this.rule = null;
        this.hung = [];
        this.stalled = [];
        // Counts the releases: a request that met a stall but reaches its answer after the
        // stall was cleared is answered whole rather than held for a release that never comes.
        this.releases = 0;
    }

    set(rule) {
        this.release();
        if (!rule || rule.mode === 'off') {
            this.rule = null;
            return null;
        }
        if (!MODES.includes(rule.mode)) throw new Error(`mode must be ${MODES.join(', ')} or off`);
        const defaultStatus = rule.mode === 'body' ? 200 : 500;
        const bytes = rule.bytes === undefined ? 1024 : Number(rule.bytes);
        if (!Number.isInteger(bytes) || bytes < 0) throw new Error('bytes must be a whole number, 0 or more');
        const after = rule.after ?? 'close';
        if (after !== 'close' && after !== 'finish') throw new Error('after must be close or finish');
        this.rule = { mode: rule.mode, status: Number(rule.status) || defaultStatus, code: Number(rule.code) || 50000,
            message: rule.message ?? 'The server failed on purpose.', body: rule.body === 'empty' ? 'empty' : 'json',
            raw: rule.raw === undefined ? '' : String(rule.raw), type: rule.type || 'application/json',
            bytes, after, path: rule.path || '/rest',
            method: rule.method ? String(rule.method).toUpperCase() : null,
            remaining: rule.count ? Number(rule.count) : null };
        return this.rule;
    }

    // Called for each served request; true when the request was answered here. A stalled
    // request goes on to its handler and is held back in `onSend`.
    async apply(req, reply) {
        const r = this.rule;
        if (!r || !req.url.startsWith(r.path) || (r.method && req.method !== r.method)) return false;
        if (r.remaining !== null && --r.remaining <= 0) this.rule = null;
        switch (r.mode) {
        case 'error':
            if (r.body === 'empty') reply.code(r.status).type('application/json').send('');
            else reply.code(r.status).send({ code: r.code, message: r.message, developerMessage: 'injected fault' });
            return true;
        case 'body':
            reply.code(r.status).type(r.type).send(r.raw);
            return true;
        case 'stall':
            req.stall = { bytes: r.bytes, after: r.after, release: this.releases };
            return false;
        default:
            await new Promise((resolve) => this.hung.push({ reply, resolve }));
            return true;
        }
    }

    // The real answer of a stalled request: status, headers (with the true Content-Length unless
    // it goes out chunked) and its first bytes (never all of them, so the answer is certain to
    // stay open), then nothing until the fault is cleared; then the connection closes or, with
    // "after":"finish", the rest follows.
    async hold(req, reply, payload) {
        if (!req.stall || req.stall.release !== this.releases) return payload;
        let body;
        if (payload === null || payload === undefined) body = Buffer.alloc(0);
        else if (typeof payload === 'string' || Buffer.isBuffer(payload)) body = Buffer.from(payload);
        else if (payload instanceof Readable || typeof payload.pipe === 'function') body = await buffer(payload);
        else body = Buffer.from(String(payload));
        // Cleared while the answer was being read.
        if (req.stall.release !== this.releases) return body;
        if (!(payload && typeof payload.pipe === 'function') || reply.hasHeader('content-length')) {
            reply.header('Content-Length', body.length);
        }
        const first = Math.min(req.stall.bytes, Math.max(body.length - 1, 0));
        const out = new PassThrough();
        out.write(body.subarray(0, first));
        const raw = reply.raw;
        // Headers go out even when no byte of the body does.
        setImmediate(() => { if (!raw.destroyed) raw.flushHeaders(); });
        const { after } = req.stall;
        this.stalled.push({ finish: () => {
            if (after === 'finish') out.end(body.subarray(first));
            else raw.destroy();
        } });
        return out;
    }

    release() {
        const hung = this.hung;
        const stalled = this.stalled;
        this.hung = [];
        this.stalled = [];
        this.releases += 1;
        for (const { reply, resolve } of hung) {
            if (!reply.sent) {
                reply.code(503).send({ code: 50300, message: 'The server stopped waiting.', developerMessage: 'hang released' });
            }
            resolve();
        }
        for (const s of stalled) s.finish();
        return hung.length + stalled.length;
    }
}
