// What the REST side received, newest last, for the client's tests to inspect (method, path,
// headers, form fields, multipart parts in order).
export class RequestLog {
    constructor(capacity = 1000) {
        this.capacity = capacity;
        this.entries = [];
        this.seq = 0;
    }

    start(req) {
        const e = { seq: ++this.seq, time: Date.now(), method: req.method, url: req.url,
            path: req.url.split('?')[0], query: req.query || {}, headers: { ...req.headers },
            form: null, parts: null, file: null, status: null, rate: 0 };
        this.entries.push(e);
        if (this.entries.length > this.capacity) this.entries.splice(0, this.entries.length - this.capacity);
        return e;
    }

    list({ n = 50, path, method, since = 0 } = {}) {
        let out = this.entries.filter((e) => e.seq > since);
        if (path) out = out.filter((e) => e.path.startsWith(path));
        if (method) out = out.filter((e) => e.method === method.toUpperCase());
        return out.slice(-n);
    }

    clear() {
        this.entries = [];
    }
}
