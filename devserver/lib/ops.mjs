// Operations that change state and tell the broker: shared by the REST side, the control
// interface and the demo member, so each behaves the same wherever it is triggered.
import { ApiError, Err } from './errors.mjs';
import { samplePicture } from './images.mjs';
import { ContentType, MsgType, encodeChat, encodeEvent, encodeLogout, encodePush, makeMessageId, roomTopic } from './protocol.mjs';
import { CUST_ID } from './seed.mjs';
import { ROOM_1VS1, ROOM_1VSN, ROOM_GROUP } from './store.mjs';

// The login password arrives as the Base64 SHA-256 digest. The client writes "+" as "%2B"
// before its form encoder runs; depending on that encoder the server then decodes "%2B" as
// text, a "+", or (for a "+" left raw on the wire) a blank. A digest never holds "%" or a
// blank, so all three mean "+".
export function normalizeDigest(text) {
    return String(text).replace(/%2B/gi, '+').replace(/ /g, '+');
}

function ids(list) {
    const arr = (Array.isArray(list) ? list : [list]).filter((x) => x !== undefined && x !== '');
    const out = [];
    for (const x of arr) {
        for (const part of String(x).split(',')) {
            if (part.trim() === '') continue;
            const n = Number(part.trim());
            if (!Number.isInteger(n) || n <= 0) throw new ApiError(Err.BAD_PARAM, `not a user id: ${part}`);
            if (!out.includes(n)) out.push(n);
        }
    }
    return out;
}
export { ids as parseIds };

export class Ops {
    constructor({ store, broker, files, log, restPort }) {
        Object.assign(this, { store, broker, files, log, restPort });
    }

    // --- version and login -------------------------------------------------------------------

    updateLink() {
        const st = this.store.s.settings;
        return st.updateLink ?? `https://localhost:${this.restPort}/download/VeltriTalk-Setup-${st.minAppVer}.exe`;
    }

    checkVersion(headers) {
        const min = this.store.s.settings.minAppVer;
        if (!min) return;
        const ver = Number(headers['app-ver']);
        if (!(ver >= min)) {
            throw new ApiError(Err.VERSION_REFUSED, `App-Ver ${headers['app-ver'] ?? '(none)'} is below ${min}`,
                { link: this.updateLink() });
        }
    }

    async login(form, headers) {
        this.checkVersion(headers);
        const loginAccnt = form.loginAccnt;
        if (typeof loginAccnt !== 'string' || !loginAccnt || typeof form.passwd !== 'string' || !form.passwd) {
            throw new ApiError(Err.MISSING_PARAM, 'loginAccnt and passwd are required');
        }
        const u = this.store.userByAccount(loginAccnt);
        if (!u || u.state === 'D' || u.passwd !== normalizeDigest(form.passwd)) {
            throw new ApiError(Err.BAD_LOGIN, `login refused for ${loginAccnt}`);
        }
        const deviceModel = typeof form.deviceModel === 'string' && form.deviceModel ? form.deviceModel : 'PC';
        const deviceId = typeof headers['device-id'] === 'string' ? headers['device-id'] : '';
        const force = String(form.forceYn) === '1';
        // A session idle too long ends before anyone may take it up again.
        for (const s of this.store.liveSessions(u.userId)) await this.expiry?.check(s);
        const live = this.store.liveSessions(u.userId).filter((s) => s.deviceModel === deviceModel);
        const current = live.filter((s) => !s.retired);
        // The same device logging in again (the lock screen, a restart) keeps its session, so the
        // broker connection that still uses its keys stays valid — unless its keys were marked
        // for rotation: then it gets a new session and the old one stays valid beside it.
        let sess = deviceId ? current.find((s) => s.deviceId === deviceId) : null;
        if (sess?.rotate) {
            sess.retired = true;
            sess.rotate = false;
            this.log(`login: keys of clientId=${sess.clientId} rotated`);
            const retired = sess;
            sess = this.store.createSession(u.userId, { deviceId, deviceModel });
            await this.broker.syncSession(sess);
            // The client moves to the new keys and never connects with the old ones again: what
            // still waited for them would be lost. The new session gets it too (the client
            // knows a message it has by its id), after what it was subscribed to just now.
            await this.broker.inheritQueue(retired.clientId, sess.clientId);
        } else if (!sess) {
            if (current.length && !force) {
                throw new ApiError(Err.LOGGED_IN_ELSEWHERE, `${current.length} session(s) of ${loginAccnt} on ${deviceModel}`);
            }
            if (current.length) await this.takeOver(live);
            sess = this.store.createSession(u.userId, { deviceId, deviceModel });
            await this.broker.syncSession(sess);
        }
        sess.lastSeen = Date.now();
        this.log(`login: ${loginAccnt} userId=${u.userId} clientId=${sess.clientId}`);
        return { status: 200, loginAccnt: u.loginAccnt, userId: u.userId, userName: u.userName,
            thumbUrl: u.thumbUrl, imageUrl: u.imageUrl, deptName: u.deptName, custId: CUST_ID,
            client: { accessKey: sess.accessKey, clientId: sess.clientId, deviceId: sess.deviceId } };
    }

    async takeOver(sessions) {
        await this.sendLogout(sessions);
        await this.endSessions(sessions, Err.SESSION_ENDED[1], 'You were logged in on another PC.');
    }

    // LOGOUT notice to each online session (on one of its room topics; the client reads only
    // the type). The session itself stays valid.
    async sendLogout(sessions) {
        let sent = 0;
        for (const sess of sessions) {
            const topic = this.store.userTopics(sess.userId)[0] || 'chat/0';
            if (await this.broker.sendToClient(sess.clientId, topic, encodeLogout({ time: this.broker.now() }))) sent++;
        }
        return sent;
    }

    async endSessions(sessions, code, message) {
        for (const sess of sessions) {
            if (sess.ended) continue;
            this.store.endSession(sess, code, message);
            await this.broker.dropSession(sess);
            this.log(`session ended: userId=${sess.userId} clientId=${sess.clientId} code=${code}`);
        }
    }

    // --- rooms -------------------------------------------------------------------------------

    checkInvitable(userIds) {
        const refused = [];
        for (const id of userIds) {
            const u = this.store.user(id);
            if (!u || u.state === 'D') throw new ApiError(Err.NO_USER, `user ${id}`);
            if (u.appInstallYn !== '1' || u.chattingAllowYn !== '1') refused.push(u);
        }
        if (refused.length) {
            throw new ApiError(Err.INVITE_REFUSED, `refused: ${refused.map((u) => u.userId).join(',')}`,
                { message: `${refused.map((u) => u.userName).join(', ')}: the invitation was refused.` });
        }
    }

    async createRoom(creatorId, memberList, roomType) {
        let type = Number(roomType);
        if (type === 40) type = ROOM_1VS1;
        if (type !== ROOM_1VS1 && type !== ROOM_1VSN) throw new ApiError(Err.BAD_PARAM, `roomType ${roomType}`);
        const others = ids(memberList).filter((id) => id !== creatorId);
        if (!others.length) throw new ApiError(Err.MISSING_PARAM, 'members');
        if (type === ROOM_1VS1 && others.length !== 1) throw new ApiError(Err.BAD_PARAM, 'a one-to-one room has one other member');
        this.checkInvitable(others);
        if (type === ROOM_1VS1) {
            const existing = this.store.findPairRoom(creatorId, others[0]);
            if (existing) return existing;
        }
        const room = this.store.createRoom(type, [creatorId, ...others]);
        for (const id of [creatorId, ...others]) await this.broker.syncUser(id);
        this.log(`room ${room.chattRoomId} created by ${creatorId} type=${type} members=${room.members}`);
        return room;
    }

    async invite(requesterId, room, memberList) {
        if (room.chattRoomType === ROOM_GROUP) throw new ApiError(Err.NOT_ALLOWED, 'group rooms follow their group');
        if (!room.members.includes(requesterId)) throw new ApiError(Err.NOT_MEMBER, `room ${room.chattRoomId}`);
        const wanted = ids(memberList).filter((id) => !room.members.includes(id));
        if (room.chattRoomType === ROOM_1VS1 && wanted.some((id) => id !== room.leaveUserId)) {
            throw new ApiError(Err.NOT_ALLOWED, 'only the partner who left can come back into a one-to-one room');
        }
        this.checkInvitable(wanted);
        room.left = (room.left || []).filter((id) => !wanted.includes(id));
        this.store.addRoomMembers(room, wanted);
        for (const id of wanted) await this.broker.syncUser(id);
        return room;
    }

    async leave(userId, roomId) {
        const room = this.store.s.rooms[roomId];
        if (!room) throw new ApiError(Err.NO_ROOM, `room ${roomId}`);
        if (room.chattRoomType === ROOM_GROUP) throw new ApiError(Err.NOT_ALLOWED, 'group rooms cannot be left');
        if (room.members.includes(userId)) {
            this.store.removeRoomMember(room, userId);
            await this.broker.syncUser(userId);
        } else if (!this.store.hasLeft(room, userId)) {
            throw new ApiError(Err.NOT_MEMBER, `room ${roomId}`);
        }
        // The LEAVE message published just before this request has usually removed the member
        // already; the answer is the same.
        return { status: 200, chattRoomId: room.chattRoomId };
    }

    // --- messages made by the server ---------------------------------------------------------

    serverClientId(userId) {
        return this.store.isBot(userId) ? `bot${userId}-demo` : `srv${userId}-ctl`;
    }

    attachmentContents(contentType, { fileName, data, text, ownerId, seed }) {
        if (contentType === ContentType.IMAGE || contentType === ContentType.VIDEO) {
            const buf = data ? Buffer.from(data, 'base64') : samplePicture(seed);
            const name = fileName || (contentType === ContentType.IMAGE ? 'picture.png' : 'clip.mp4');
            const rec = this.files.storeBuffer(buf, { ownerId, orgFileName: name, contentType: '20', picture: true });
            return JSON.stringify({ width: rec.width, height: rec.height, file_name: name,
                remote_thumb_url: rec.thumbUrl, remote_path_url: rec.webUrl });
        }
        const buf = data ? Buffer.from(data, 'base64') : Buffer.from(text || `Sample file ${seed}\n`, 'utf8');
        const name = fileName || 'document.txt';
        const rec = this.files.storeBuffer(buf, { ownerId, orgFileName: name, contentType: '10' });
        const o = { file_name: name, file_size: rec.fileSize, remote_path_url: rec.webUrl };
        if (text && !data && text.length > 250) o.preview_text = `${text.slice(0, 247)}...`;
        return JSON.stringify(o);
    }

    async postChat({ roomId, userId, contentType = 1, text = '', fileName, data, messageId }) {
        const room = this.store.room(roomId);
        if (!room) throw new ApiError(Err.NO_ROOM, `room ${roomId}`);
        if (!this.store.user(userId)) throw new ApiError(Err.NO_USER, `user ${userId}`);
        const ct = Number(contentType);
        if (!(ct >= 1 && ct <= 4)) throw new ApiError(Err.BAD_PARAM, `contentType ${contentType}`);
        const time = this.broker.now();
        const id = messageId || makeMessageId(this.serverClientId(userId), time);
        const contents = ct === ContentType.TEXT ? String(text)
            : this.attachmentContents(ct, { fileName, data, text, ownerId: userId, seed: time % 100000 });
        const payload = encodeChat({ time, contentType: ct, senderId: Number(userId), messageId: id, contents });
        this.broker.keep(room.chattRoomId, { time, senderId: Number(userId), messageId: id, contentType: ct, contents });
        await this.broker.publish(roomTopic(room.chattRoomId), payload);
        return { topic: roomTopic(room.chattRoomId), messageId: id, timestamp: time, senderId: Number(userId),
            contentType: ct, contents };
    }

    async sendRead({ roomId, userId, type = MsgType.ENTERREAD, readTime = 0, clientId }) {
        const room = this.store.room(roomId);
        if (!room) throw new ApiError(Err.NO_ROOM, `room ${roomId}`);
        const named = { enter: MsgType.ENTERREAD, leave: MsgType.LEAVEREAD, here: MsgType.HEREREAD };
        const t = named[type] || Number(type);
        if (![MsgType.ENTERREAD, MsgType.LEAVEREAD, MsgType.HEREREAD].includes(t)) {
            throw new ApiError(Err.BAD_PARAM, `read type ${type}`);
        }
        const cid = clientId || this.store.liveSessions(userId)[0]?.clientId || this.serverClientId(userId);
        const contents = t === MsgType.ENTERREAD ? JSON.stringify({ clientId: cid, readTime: Number(readTime) || 0 }) : cid;
        const time = this.broker.now();
        const messageId = makeMessageId(cid, time);
        await this.broker.publish(roomTopic(room.chattRoomId),
            encodeEvent({ time, type: t, senderId: Number(userId), messageId, contents }));
        return { topic: roomTopic(room.chattRoomId), type: t, messageId, contents };
    }

    // INVITE, ADMISSION or LEAVE in a user's name (what that user's client would publish).
    async sendRoomEvent(type, userId, room, contentsObj) {
        const time = this.broker.now();
        const messageId = makeMessageId(this.serverClientId(userId), time);
        await this.broker.publish(roomTopic(room.chattRoomId), encodeEvent({ time, type, senderId: Number(userId),
            messageId, contents: JSON.stringify(contentsObj) }));
        return messageId;
    }

    async sendPush(roomId, contents, senderId = 0) {
        const text = typeof contents === 'string' ? contents : JSON.stringify(contents);
        await this.broker.publish(roomTopic(roomId), encodePush({ time: this.broker.now(), senderId, contents: text }));
    }

    // --- groups and directory ----------------------------------------------------------------

    requireGroup(grpId) {
        const g = this.store.activeGroup(grpId);
        if (!g) throw new ApiError(Err.NO_GROUP, `group ${grpId}`);
        return g;
    }

    requireUser(userId) {
        const u = this.store.user(userId);
        if (!u || u.state === 'D') throw new ApiError(Err.NO_USER, `user ${userId}`);
        return u;
    }

    // PUSH 61 on the group's room, after the member's sessions were subscribed to it.
    async setGroupMember(grpId, userId, { leaderType = '0', mbrStatus = '1' } = {}) {
        const g = this.requireGroup(grpId);
        const u = this.requireUser(userId);
        const m = this.store.setMembership(g.grpId, u.userId, { leaderType, mbrStatus });
        await this.broker.syncUser(u.userId);
        await this.sendPush(g.roomId, { type: 61, contents: { userId: u.userId, grpId: g.grpId, grpName: g.grpName,
            mbrStatus: m.mbrStatus, leaderType: m.leaderType, user: this.store.userJson(u, { yn: true }) } });
        return m;
    }

    // PUSH 63 while the member still hears the group's room, then the subscription goes.
    async removeGroupMember(grpId, userId) {
        const g = this.requireGroup(grpId);
        const m = this.store.membership(g.grpId, Number(userId));
        if (!m || m.state === 'D') throw new ApiError(Err.NO_USER, `user ${userId} is not in group ${grpId}`);
        await this.sendPush(g.roomId, { type: 63, contents: { userId: m.userId, grpId: g.grpId, grpName: g.grpName,
            mbrStatus: '0', leaderType: m.leaderType } });
        this.store.removeMembership(g.grpId, m.userId);
        await this.broker.syncUser(m.userId);
        return m;
    }

    async removeGroup(grpId) {
        const g = this.requireGroup(grpId);
        const members = this.store.groupMemberIds(g.grpId);
        await this.sendPush(g.roomId, { type: 90, contents: { grpId: g.grpId, grpName: g.grpName, senderId: 0 } });
        this.store.removeGroup(g);
        for (const id of members) await this.broker.syncUser(id);
        return g;
    }

    async addGroup({ grpName, grpType = 2, members = [] }) {
        if (!grpName) throw new ApiError(Err.MISSING_PARAM, 'grpName');
        const g = this.store.addGroup({ grpName, grpType: Number(grpType) || 2 });
        for (const id of ids(members)) await this.setGroupMember(g.grpId, id);
        return g;
    }

    async deleteUser(userId) {
        const u = this.requireUser(userId);
        await this.endSessions(this.store.liveSessions(u.userId), Err.ACCOUNT_REMOVED[1], 'Your account has been removed.');
        this.store.deleteUser(u);
        return u;
    }
}
