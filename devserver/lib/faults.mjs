// Failures of the REST side on demand: an error answer (with or without a body) or a request
// that gets no answer until the fault is cleared.
export class Faults {
    constructor() {
        this.rule = null;
        this.hung = [];
    }

    set(rule) {
        this.release();
        if (!rule || rule.mode === 'off') {
            this.rule = null;
            return null;
        }
        if (rule.mode !== 'error' && rule.mode !== 'hang') throw new Error(`mode must be error, hang or off`);
        this.rule = { mode: rule.mode, status: Number(rule.status) || 500, code: Number(rule.code) || 50000,
            message: rule.message ?? 'The server failed on purpose.', body: rule.body === 'empty' ? 'empty' : 'json',
            path: rule.path || '/rest', method: rule.method ? String(rule.method).toUpperCase() : null,
            remaining: rule.count ? Number(rule.count) : null };
        return this.rule;
    }

    // Called for each REST request; true when the request was answered here.
    async apply(req, reply) {
        const r = this.rule;
        if (!r || !req.url.startsWith(r.path) || (r.method && req.method !== r.method)) return false;
        if (r.remaining !== null && --r.remaining <= 0) this.rule = null;
        if (r.mode === 'error') {
            if (r.body === 'empty') reply.code(r.status).type('application/json').send('');
            else reply.code(r.status).send({ code: r.code, message: r.message, developerMessage: 'injected fault' });
            return true;
        }
        await new Promise((resolve) => this.hung.push({ reply, resolve }));
        return true;
    }

    release() {
        const hung = this.hung;
        this.hung = [];
        for (const { reply, resolve } of hung) {
            if (!reply.sent) {
                reply.code(503).send({ code: 50300, message: 'The server stopped waiting.', developerMessage: 'hang released' });
            }
            resolve();
        }
        return hung.length;
    }
}
