// What the REST side received, newest last, for the client's tests to inspect (method, path,
// headers, form fields, multipart parts in order, the TLS connection it came on).
export class RequestLog {
    constructor(capacity = 1000) {
        this.capacity = capacity;
        this.entries = [];
        this.seq = 0;
        // Whether a client keeps its connections (HTTP keep-alive) shows in how many it opens.
        this.connections = { opened: 0, resumed: 0 };
        this.socketIds = new WeakMap();
        this.open = new Set();
    }

    // Every TLS connection the REST listener accepted, numbered from 1 in the order of their
    // handshakes; `resumed` counts the handshakes that took up an earlier TLS session.
    watch(server) {
        server.on('secureConnection', (socket) => {
            this.socketIds.set(socket, ++this.connections.opened);
            if (socket.isSessionReused()) this.connections.resumed += 1;
            this.open.add(socket);
            socket.once('close', () => this.open.delete(socket));
        });
    }

    // Closes every open connection, as a server does with those idle too long; the number closed.
    closeConnections() {
        const n = this.open.size;
        for (const socket of this.open) socket.destroy();
        this.open.clear();
        return n;
    }

    start(req) {
        const e = { seq: ++this.seq, time: Date.now(), method: req.method, url: req.url,
            path: req.url.split('?')[0], query: req.query || {}, headers: { ...req.headers },
            form: null, parts: null, file: null, status: null, rate: 0, answered: null,
            connection: this.socketIds.get(req.raw.socket) ?? 0 };
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
