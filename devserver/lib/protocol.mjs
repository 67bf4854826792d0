// Chat protocol payloads as they travel on the broker: big-endian heads, a little-endian CHAT
// id list, UTF-8 tails without a length field.
export const MsgType = Object.freeze({
    CHAT: 1, READ: 2, INVITE: 3, ADMISSION: 4, LEAVE: 5, PUSH: 6, PUSHREQ: 7, PUSHRES: 8,
    ENTERREAD: 9, LEAVEREAD: 10, HEREREAD: 11, LOGOUT: 99,
});

export const ContentType = Object.freeze({ TEXT: 1, IMAGE: 2, VIDEO: 3, FILE: 4 });

export const REFRESH_TEXT = '!*refresh*!';

export function roomTopic(roomId) {
    return `chat/${roomId}`;
}

export function roomIdOfTopic(topic) {
    const m = /^chat\/([1-9]\d{0,9})$/.exec(topic);
    return m ? Number(m[1]) : null;
}

function head(time, type) {
    const b = Buffer.alloc(9);
    b.writeBigInt64BE(BigInt(Math.trunc(time)), 0);
    b[8] = type;
    return b;
}

function idBytes(messageId) {
    const id = Buffer.from(messageId || '', 'utf8');
    if (id.length > 0xffff) throw new Error('message id too long');
    const len = Buffer.alloc(2);
    len.writeUInt16BE(id.length, 0);
    return [len, id];
}

function u32be(v) {
    const b = Buffer.alloc(4);
    b.writeUInt32BE(v >>> 0, 0);
    return b;
}

export function encodeChat({ time, contentType, senderId, messageId, idList = [], contents }) {
    const count = Buffer.alloc(2);
    count.writeUInt16BE(idList.length, 0);
    const list = Buffer.alloc(4 * idList.length);
    idList.forEach((v, i) => list.writeInt32LE(v, 4 * i));
    return Buffer.concat([head(time, MsgType.CHAT), Buffer.from([contentType]), u32be(senderId),
        ...idBytes(messageId), count, list, Buffer.from(contents || '', 'utf8')]);
}

// INVITE, ADMISSION, LEAVE, ENTERREAD, LEAVEREAD, HEREREAD
export function encodeEvent({ time, type, senderId, messageId, contents }) {
    return Buffer.concat([head(time, type), u32be(senderId), ...idBytes(messageId),
        Buffer.from(contents || '', 'utf8')]);
}

export function encodePush({ time, senderId = 0, contents }) {
    return Buffer.concat([head(time, MsgType.PUSH), u32be(senderId),
        Buffer.from(contents || '', 'utf8')]);
}

export function encodeLogout({ time }) {
    return head(time, MsgType.LOGOUT);
}

// Returns null for a payload shorter than the fields it announces.
export function decode(payload) {
    const b = Buffer.isBuffer(payload) ? payload : Buffer.from(payload);
    if (b.length < 9) return null;
    const time = Number(b.readBigInt64BE(0));
    const type = b[8];
    if (type === MsgType.CHAT) {
        if (b.length < 16) return null;
        const contentType = b[9];
        const senderId = b.readUInt32BE(10);
        const idLen = b.readUInt16BE(14);
        if (b.length < 16 + idLen + 2) return null;
        const messageId = b.subarray(16, 16 + idLen).toString('utf8');
        const n = b.readUInt16BE(16 + idLen);
        const listAt = 18 + idLen;
        if (b.length < listAt + 4 * n) return null;
        const idList = [];
        for (let i = 0; i < n; i++) idList.push(b.readInt32LE(listAt + 4 * i));
        const contents = b.subarray(listAt + 4 * n).toString('utf8');
        return { time, type, contentType, senderId, messageId, idList, contents };
    }
    if (type === MsgType.PUSH) {
        if (b.length < 13) return null;
        return { time, type, senderId: b.readUInt32BE(9), contents: b.subarray(13).toString('utf8') };
    }
    if (type === MsgType.LOGOUT) return { time, type };
    if (b.length < 15) return null;
    const senderId = b.readUInt32BE(9);
    const idLen = b.readUInt16BE(13);
    if (b.length < 15 + idLen) return null;
    return { time, type, senderId, messageId: b.subarray(15, 15 + idLen).toString('utf8'),
        contents: b.subarray(15 + idLen).toString('utf8') };
}

// The server's echo of a CHAT carries its own clock in bytes 0-7; the rest stays as sent.
export function withTime(payload, time) {
    const copy = Buffer.from(payload);
    copy.writeBigInt64BE(BigInt(Math.trunc(time)), 0);
    return copy;
}

// Message ids are the session's client id, "-", the time in milliseconds and four digits.
let counter = 0;
export function makeMessageId(clientId, time = Date.now()) {
    counter = (counter + 1) % 10000;
    return `${clientId}-${time}${String(counter).padStart(4, '0')}`;
}
