// Large amounts of rooms and history made at once, for the client's room-list, paging and
// memory runs: rooms with kept chats for one account (delivered to its sessions at their next
// connect, so its client counts them as unread), and history appended to a room without
// publishing it.
import { ApiError, Err } from './errors.mjs';
import { ContentType, encodeChat, roomTopic } from './protocol.mjs';
import { seedDocument } from './seed.mjs';
import { ROOM_1VS1, ROOM_1VSN, ROOM_GROUP } from './store.mjs';

const CONTENT_TYPES = [ContentType.TEXT, ContentType.IMAGE, ContentType.FILE];
let idCounter = 0;

// A message id whose third "-" field starts with the chat's time, as the client reads it.
function messageId(kind, senderId, time) {
    idCounter = (idCounter + 1) % 10000;
    return `${kind}${senderId}-${kind === 'b' ? 'bulk' : 'hist'}-${time}${String(idCounter).padStart(4, '0')}`;
}

// What a generated chat carries: text, or a seeded picture or document (served under /files).
function contentsOf(contentType, text, k) {
    if (contentType === ContentType.IMAGE) {
        const n = (k % 5) + 1;
        return JSON.stringify({ width: 480, height: 320, file_name: `photo${n}.png`,
            remote_thumb_url: `/files/seedpic${n}_t.png`, remote_path_url: `/files/seedpic${n}.png` });
    }
    if (contentType === ContentType.FILE) {
        const n = (k % 3) + 1;
        return JSON.stringify({ file_name: `document${n}.txt`, file_size: Buffer.byteLength(seedDocument(n)),
            remote_path_url: `/files/seeddoc${n}.txt` });
    }
    return text;
}

function wholeNumber(v, name, { least = 0, most = 1000000, fallback } = {}) {
    if (v === undefined || v === null) {
        if (fallback !== undefined) return fallback;
        throw new ApiError(Err.MISSING_PARAM, `${name} is required`);
    }
    if (!Number.isInteger(v) || v < least || v > most) throw new ApiError(Err.BAD_PARAM, `${name}: a whole number from ${least} to ${most}`);
    return v;
}

function contentTypesOf(list) {
    if (list === undefined || list === null) return [ContentType.TEXT];
    if (!Array.isArray(list) || !list.length || list.some((t) => !CONTENT_TYPES.includes(t))) {
        throw new ApiError(Err.BAD_PARAM, 'contentTypes: a list of 1 (text), 2 (picture), 4 (file)');
    }
    return list;
}

export class Bulk {
    constructor({ store, broker, log }) {
        Object.assign(this, { store, broker, log });
        // Chats waiting for each session of an account: {userId, items, deliveredTo}.
        this.batches = [];
        broker.on('connect', (sess) => this.enqueue(sess));
    }

    // {userId|account, rooms, chats, contentTypes?, deliver?}: `rooms` new rooms for the account
    // (a quarter one-to-one while partners last, the rest one-to-many with 2 to 4 others),
    // `chats` chats from the other members spread evenly over them, one second apart and ending
    // now. With `deliver` (default) they also reach each of the account's sessions at its next
    // connect (at once when connected).
    async generate(body) {
        const { store } = this;
        const u = body.account ? store.userByAccount(String(body.account)) : store.user(Number(body.userId));
        if (!u || u.state === 'D') throw new ApiError(Err.NO_USER, `user ${body.account ?? body.userId}`);
        const roomCount = wholeNumber(body.rooms, 'rooms', { least: 1, most: 100000 });
        const chatCount = wholeNumber(body.chats, 'chats', { fallback: 0, most: 2000000 });
        const types = contentTypesOf(body.contentTypes);
        const partners = Object.values(store.s.users).filter((p) => p.userId !== u.userId && p.state !== 'D'
            && p.appInstallYn === '1' && p.chattingAllowYn === '1' && !store.isBot(p.userId)).map((p) => p.userId);
        if (partners.length < 4) throw new ApiError(Err.BAD_PARAM, 'fewer than 4 users to share rooms with');
        const solo = partners.filter((p) => !store.findPairRoom(u.userId, p));
        const pairs = Math.min(Math.ceil(roomCount / 4), solo.length);
        const now = Date.now();
        const rooms = [];
        let next = 0;
        for (let i = 0; i < roomCount; i++) {
            let members;
            if (i < pairs) {
                members = [u.userId, solo[i]];
            } else {
                members = [u.userId];
                for (let k = 0; k < 2 + (i % 3); k++) members.push(partners[next++ % partners.length]);
            }
            const room = store.newRoom(i < pairs ? ROOM_1VS1 : ROOM_1VSN, [...new Set(members)]);
            room.openDatetime = now - (roomCount - i) * 1000 - chatCount * 1000;
            room.updDatetime = room.openDatetime;
            rooms.push(room);
        }
        store.reindex();
        const per = rooms.map(() => []);
        for (let k = 0; k < chatCount; k++) {
            const r = k % roomCount;
            const others = rooms[r].members.filter((id) => id !== u.userId);
            const senderId = others[Math.floor(k / roomCount) % others.length];
            const timestamp = now - (chatCount - k) * 1000;
            const contentType = types[k % types.length];
            per[r].push({ topic: roomTopic(rooms[r].chattRoomId), msgType: 1, timestamp, senderId,
                messageId: messageId('b', senderId, timestamp), contentType,
                contents: contentsOf(contentType, `Bulk chat ${k + 1} in room ${rooms[r].chattRoomId}`, k) });
        }
        rooms.forEach((room, r) => store.appendChats(room.chattRoomId, per[r]));
        const members = new Set(rooms.flatMap((room) => room.members));
        for (const id of members) await this.broker.syncUser(id);
        if (body.deliver !== false && chatCount) {
            const items = per.flat().sort((a, b) => a.timestamp - b.timestamp).map((c) => ({ topic: c.topic,
                payload: encodeChat({ time: c.timestamp, contentType: c.contentType, senderId: c.senderId,
                    messageId: c.messageId, contents: c.contents }) }));
            this.batches.push({ userId: u.userId, items, deliveredTo: new Set() });
            for (const sess of store.liveSessions(u.userId)) await this.deliver(sess);
        }
        this.log(`bulk: ${roomCount} rooms, ${chatCount} chats for ${u.loginAccnt} in ${Date.now() - now} ms`);
        return { ok: true, userId: u.userId, rooms: rooms.map((room, r) => ({ roomId: room.chattRoomId,
            topic: roomTopic(room.chattRoomId), roomType: room.chattRoomType, memberIds: room.members, chats: per[r].length,
            unread: per[r].length })) };
    }

    // At a session's connect: the waiting chats go first into its queue, each batch once.
    enqueue(sess) {
        for (const batch of this.batches) {
            if (batch.userId !== sess.userId || batch.deliveredTo.has(sess.clientId)) continue;
            batch.deliveredTo.add(sess.clientId);
            this.broker.enqueue(sess.clientId, batch.items);
        }
    }

    // Hands the waiting chats to a session connected already, each batch once.
    async deliver(sess) {
        if (!this.broker.client(sess.clientId)) return 0;
        let sent = 0;
        for (const batch of this.batches) {
            if (batch.userId !== sess.userId || batch.deliveredTo.has(sess.clientId)) continue;
            batch.deliveredTo.add(sess.clientId);
            for (const item of batch.items) {
                if (!(await this.broker.sendToClient(sess.clientId, item.topic, item.payload))) return sent;
                sent++;
            }
        }
        return sent;
    }

    // {roomId, count, senders?, contentTypes?, startTime?, step?, text?}: kept chats, not
    // published, `step` ms apart (default 1000) from `startTime` (default: ending now).
    appendHistory(body) {
        const { store } = this;
        const room = store.room(Number(body.roomId));
        if (!room) throw new ApiError(Err.NO_ROOM, `room ${body.roomId}`);
        const count = wholeNumber(body.count, 'count', { least: 1, most: 2000000 });
        const step = wholeNumber(body.step, 'step', { least: 1, most: 86400000, fallback: 1000 });
        const types = contentTypesOf(body.contentTypes);
        const members = room.chattRoomType === ROOM_GROUP ? store.groupMemberIds(room.grpId) : room.members;
        const senders = body.senders ?? members;
        if (!Array.isArray(senders) || !senders.length || senders.some((id) => !store.user(Number(id)))) {
            throw new ApiError(Err.BAD_PARAM, 'senders: a list of user ids');
        }
        const start = body.startTime === undefined || body.startTime === null ? Date.now() - count * step
            : wholeNumber(body.startTime, 'startTime', { least: 1, most: 8.64e15 });
        const prefix = body.text === undefined ? 'History chat' : String(body.text);
        const topic = roomTopic(room.chattRoomId);
        const chats = new Array(count);
        for (let k = 0; k < count; k++) {
            const senderId = Number(senders[k % senders.length]);
            const timestamp = start + k * step;
            const contentType = types[k % types.length];
            chats[k] = { topic, msgType: 1, timestamp, senderId,
                messageId: messageId('h', senderId, timestamp), contentType,
                contents: contentsOf(contentType, `${prefix} ${k + 1}`, k) };
        }
        store.appendChats(room.chattRoomId, chats);
        const list = store.s.chats[room.chattRoomId];
        const brief = (c) => ({ messageId: c.messageId, timestamp: c.timestamp });
        return { ok: true, roomId: room.chattRoomId, topic, added: count, total: list.length,
            first: brief(chats[0]), last: brief(chats[count - 1]) };
    }
}
