// What clients published on the broker, newest last, for the client's tests to inspect (read
// receipts, invitations and chats as the client sent them, before the server's changes).
import { decode } from './protocol.mjs';

const TAIL_LIMIT = 2000;

export class PublishLog {
    constructor(capacity = 20000) {
        this.capacity = capacity;
        this.entries = [];
        this.seq = 0;
    }

    // `dropped` names why the broker dropped it (null when it was accepted).
    add(client, packet, dropped = null) {
        const d = decode(packet.payload);
        const e = { seq: ++this.seq, time: Date.now(), topic: packet.topic, clientId: client?.id ?? null,
            userId: client?.veltri?.userId ?? null, qos: packet.qos, type: d?.type ?? null,
            messageId: d?.messageId ?? null, senderId: d?.senderId ?? null, contentType: d?.contentType ?? null,
            contents: typeof d?.contents === 'string' ? d.contents.slice(0, TAIL_LIMIT) : null,
            size: packet.payload?.length ?? 0, dropped };
        this.entries.push(e);
        if (this.entries.length > this.capacity) this.entries.splice(0, this.entries.length - this.capacity);
        return e;
    }

    list({ n = 1000, since = 0, clientId, type, topic } = {}) {
        let out = this.entries.filter((e) => e.seq > since);
        if (clientId) out = out.filter((e) => e.clientId === clientId);
        if (type) out = out.filter((e) => e.type === Number(type));
        if (topic) out = out.filter((e) => e.topic === topic);
        return out.slice(-n);
    }

    clear() {
        this.entries = [];
    }
}
