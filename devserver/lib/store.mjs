// The server's state: directory, rooms, history, sessions and uploaded files, kept in memory
// and written to DIR/state.json (atomically, shortly after each change and at exit).
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { seedState, passwordDigest, accountName, BOT_USER_ID, groupPictures } from './seed.mjs';
import { EPOCH_STAMP, stamp14 } from './timefmt.mjs';
import { roomTopic } from './protocol.mjs';

export function messageIdTime(messageId) {
    const field = String(messageId).split('-')[2];
    return field ? field.slice(0, 13) : '';
}

export const ROOM_GROUP = 10, ROOM_1VS1 = 20, ROOM_1VSN = 30, ROOM_LEAVE = 40;

export class Store {
    constructor(dataDir) {
        this.dataDir = dataDir;
        this.stateFile = path.join(dataDir, 'state.json');
        this.saveTimer = null;
        this.s = null;
    }

    // Loads the saved state, or seeds a new organisation (first start, --reset, or a different
    // --users count asked for explicitly).
    open({ reset = false, users = 300, usersGiven = false } = {}) {
        let loaded = null;
        if (!reset && fs.existsSync(this.stateFile)) {
            loaded = JSON.parse(fs.readFileSync(this.stateFile, 'utf8'));
            if (loaded.format !== 1 || (usersGiven && loaded.seedUsers !== users)) loaded = null;
        }
        this.seeded = !loaded;
        this.s = loaded || seedState({ users });
        this.reindex();
        if (this.seeded) this.saveNow();
        return this;
    }

    // --- persistence -------------------------------------------------------------------------

    // The whole state is written in one go, and nothing else is answered meanwhile (some 80 ms
    // with a large history): once the changes pause for 300 ms, and under steady traffic every
    // 5 s, not every 300 ms.
    changed() {
        const now = Date.now();
        if (!this.firstUnsaved) this.firstUnsaved = now;
        if (this.saveTimer) clearTimeout(this.saveTimer);
        const wait = Math.max(0, Math.min(300, this.firstUnsaved + 5000 - now));
        this.saveTimer = setTimeout(() => {
            this.saveTimer = null;
            this.saveNow();
        }, wait);
    }

    saveNow() {
        this.firstUnsaved = 0;
        if (this.saveTimer) {
            clearTimeout(this.saveTimer);
            this.saveTimer = null;
        }
        const tmp = `${this.stateFile}.tmp`;
        fs.writeFileSync(tmp, JSON.stringify(this.s));
        fs.renameSync(tmp, this.stateFile);
    }

    // --- indexes -----------------------------------------------------------------------------

    reindex() {
        const s = this.s;
        this.accounts = new Map();
        for (const u of Object.values(s.users)) this.accounts.set(u.loginAccnt, u);
        this.groupMembers = new Map();
        for (const m of Object.values(s.memberships)) {
            if (m.state === 'D') continue;
            const g = s.groups[m.grpId];
            if (!g || g.state === 'D' || !this.isActiveUser(m.userId)) continue;
            if (!this.groupMembers.has(m.grpId)) this.groupMembers.set(m.grpId, new Set());
            this.groupMembers.get(m.grpId).add(m.userId);
        }
        this.userRooms = new Map();
        for (const room of Object.values(s.rooms)) {
            if (room.deleted) continue;
            for (const uid of this.roomMembers(room)) {
                if (!this.userRooms.has(uid)) this.userRooms.set(uid, new Set());
                this.userRooms.get(uid).add(room.chattRoomId);
            }
        }
    }

    // --- directory ---------------------------------------------------------------------------

    user(id) { return this.s.users[id] || null; }
    isActiveUser(id) { const u = this.s.users[id]; return !!u && u.state !== 'D'; }
    userByAccount(accnt) { return this.accounts.get(accnt) || null; }
    group(id) { return this.s.groups[id] || null; }
    activeGroup(id) { const g = this.s.groups[id]; return g && g.state !== 'D' ? g : null; }
    membership(grpId, userId) { return this.s.memberships[`${grpId}:${userId}`] || null; }
    groupMemberIds(grpId) { return [...(this.groupMembers.get(Number(grpId)) || [])]; }
    isGroupMember(grpId, userId) { return !!this.groupMembers.get(Number(grpId))?.has(Number(userId)); }

    userJson(u, { yn = false, withState = false } = {}) {
        const flag = (v) => (yn ? (v === '1' ? 'Y' : 'N') : v);
        const o = { userId: u.userId, loginAccnt: u.loginAccnt, userName: u.userName, tel: u.tel,
            email: u.email, deptName: u.deptName, thumbUrl: u.thumbUrl, imageUrl: u.imageUrl,
            telOpenYn: flag(u.telOpenYn), chattingAllowYn: flag(u.chattingAllowYn),
            appInstallYn: flag(u.appInstallYn), userSortSeq: u.userSortSeq };
        if (withState) o.state = u.state;
        return o;
    }

    groupJson(g, { withState = false } = {}) {
        const o = { grpId: g.grpId, grpName: g.grpName, grpType: g.grpType, skinColor: g.skinColor,
            thumbUrl: g.thumbUrl, imageUrl: g.imageUrl };
        if (withState) o.state = g.state;
        return o;
    }

    membershipJson(m, { withState = false } = {}) {
        const o = { grpId: m.grpId, userId: m.userId, mbrStatus: m.mbrStatus, leaderType: m.leaderType };
        if (withState) o.state = m.state;
        return o;
    }

    // The whole directory for a first cache (19700101000000), else what changed at or after the
    // given stamp. Stamps have one-second resolution, so "at" is included: a change made in the
    // same second as the previous answer is sent again rather than lost.
    cache(since) {
        const first = since === EPOCH_STAMP;
        const fresh = (e) => first || e.updDatetime >= since;
        const s = this.s;
        return {
            updDatetime: stamp14(),
            users: Object.values(s.users).filter(fresh).map((u) => this.userJson(u, { withState: true })),
            groups: Object.values(s.groups).filter((g) => fresh(g) && !(first && g.state === 'D'))
                .map((g) => this.groupJson(g, { withState: true })),
            groupMembers: Object.values(s.memberships).filter((m) => fresh(m) && !(first && m.state === 'D'))
                .map((m) => this.membershipJson(m, { withState: true })),
            custOpts: Object.values(s.custOpts).map((o) => ({ optCode: o.optCode, optValue: o.optValue })),
        };
    }

    touch(e, state = 'U') {
        e.state = state;
        e.updDatetime = stamp14();
    }

    setOption(code, value) {
        const o = this.s.custOpts[code] || (this.s.custOpts[code] = { optCode: String(code) });
        o.optValue = String(value);
        o.updDatetime = stamp14();
        this.changed();
    }

    addUser(fields) {
        const userId = this.s.next.userId++;
        const i = userId - 1000;
        const u = { userId, loginAccnt: fields.loginAccnt || accountName(i), passwd: passwordDigest(fields.password || 'Passw0rd!'),
            userName: fields.userName || `New User ${userId}`, tel: fields.tel || '', email: fields.email || '',
            deptName: fields.deptName || '', thumbUrl: '', imageUrl: '', telOpenYn: '1',
            chattingAllowYn: fields.chattingAllowYn ?? '1', appInstallYn: fields.appInstallYn ?? '1',
            userSortSeq: fields.userSortSeq || String(100000 + i), state: 'I', updDatetime: stamp14(), picVersion: 0 };
        if (this.accounts.has(u.loginAccnt)) throw new Error(`account ${u.loginAccnt} exists`);
        if (fields.picture) this.setUserPicture(u, true);
        this.s.users[userId] = u;
        this.reindex();
        this.changed();
        return u;
    }

    updateUser(u, fields) {
        for (const k of ['userName', 'tel', 'email', 'deptName', 'telOpenYn', 'chattingAllowYn',
            'appInstallYn', 'userSortSeq', 'thumbUrl', 'imageUrl']) {
            if (fields[k] !== undefined) u[k] = String(fields[k]);
        }
        if (fields.loginAccnt !== undefined && fields.loginAccnt !== u.loginAccnt) {
            if (this.accounts.has(fields.loginAccnt)) throw new Error(`account ${fields.loginAccnt} exists`);
            u.loginAccnt = String(fields.loginAccnt);
        }
        if (fields.password !== undefined) u.passwd = passwordDigest(String(fields.password));
        if (fields.picture !== undefined) this.setUserPicture(u, !!fields.picture);
        this.touch(u, u.state === 'D' ? 'D' : 'U');
        this.reindex();
        this.changed();
        return u;
    }

    // Generated pictures get a new name on every change: the client caches pictures by name.
    setUserPicture(u, on) {
        if (on) {
            u.picVersion = (u.picVersion || 0) + 1;
            u.thumbUrl = `/pictures/u${u.userId}_${u.picVersion}_t.png`;
            u.imageUrl = `/pictures/u${u.userId}_${u.picVersion}.png`;
        } else {
            u.thumbUrl = '';
            u.imageUrl = '';
        }
    }

    // Deleted users stay in the directory with state "D"; they leave their groups and rooms.
    deleteUser(u) {
        this.touch(u, 'D');
        for (const m of Object.values(this.s.memberships)) {
            if (m.userId === u.userId && m.state !== 'D') this.touch(m, 'D');
        }
        const rooms = [...(this.userRooms.get(u.userId) || [])];
        for (const roomId of rooms) {
            const room = this.s.rooms[roomId];
            if (room.chattRoomType !== ROOM_GROUP) this.removeRoomMember(room, u.userId);
        }
        this.reindex();
        this.changed();
        return rooms;
    }

    addGroup({ grpName, grpType = 2 }) {
        const grpId = this.s.next.grpId++;
        const room = this.newRoom(ROOM_GROUP, [], grpId);
        this.s.groups[grpId] = { grpId, grpName, grpType, skinColor: (grpId * 2654435761) % 0xffffff,
            ...groupPictures(grpId), state: 'I', updDatetime: stamp14(), roomId: room.chattRoomId };
        this.reindex();
        this.changed();
        return this.s.groups[grpId];
    }

    setMembership(grpId, userId, { leaderType = '0', mbrStatus = '1' } = {}) {
        const key = `${grpId}:${userId}`;
        const old = this.s.memberships[key];
        const m = { grpId: Number(grpId), userId: Number(userId), mbrStatus: String(mbrStatus),
            leaderType: String(leaderType), state: old && old.state !== 'D' ? 'U' : 'I', updDatetime: stamp14() };
        this.s.memberships[key] = m;
        this.reindex();
        this.changed();
        return m;
    }

    removeMembership(grpId, userId) {
        const m = this.membership(grpId, userId);
        if (!m || m.state === 'D') return null;
        this.touch(m, 'D');
        this.reindex();
        this.changed();
        return m;
    }

    removeGroup(g) {
        this.touch(g, 'D');
        for (const m of Object.values(this.s.memberships)) {
            if (m.grpId === g.grpId && m.state !== 'D') this.touch(m, 'D');
        }
        const room = this.s.rooms[g.roomId];
        if (room) room.deleted = true;
        this.reindex();
        this.changed();
    }

    // --- rooms -------------------------------------------------------------------------------

    room(id) { const r = this.s.rooms[id]; return r && !r.deleted ? r : null; }

    roomMembers(room) {
        if (room.chattRoomType === ROOM_GROUP) return this.groupMemberIds(room.grpId);
        return room.members;
    }

    isMember(roomId, userId) { return !!this.userRooms.get(Number(userId))?.has(Number(roomId)); }
    userRoomIds(userId) { return [...(this.userRooms.get(Number(userId)) || [])]; }
    userTopics(userId) { return this.userRoomIds(userId).map(roomTopic); }

    roomJson(room) {
        const o = { chattRoomId: room.chattRoomId, chattRoomType: String(room.chattRoomType),
            openDatetime: room.openDatetime, updDatetime: room.updDatetime, grpId: room.grpId || 0,
            members: [] };
        if (room.chattRoomType === ROOM_GROUP) {
            o.roomName = this.group(room.grpId)?.grpName || '';
        } else {
            o.members = room.members.map((id) => ({ joinUserId: id, user: this.userJson(this.user(id)) }));
            if (room.chattRoomType === ROOM_1VS1 && room.leaveUserId) o.leaveUserId = room.leaveUserId;
        }
        return o;
    }

    newRoom(type, members, grpId = 0) {
        const id = this.s.next.roomId++;
        const now = Date.now();
        const room = { chattRoomId: id, chattRoomType: type, openDatetime: now, updDatetime: now,
            members: [...members], grpId, leaveUserId: 0, deleted: false };
        this.s.rooms[id] = room;
        this.s.chats[id] = [];
        return room;
    }

    // An existing one-to-one room of the pair (both still in it) is reused.
    findPairRoom(a, b) {
        for (const roomId of this.userRooms.get(a) || []) {
            const r = this.s.rooms[roomId];
            if (r.chattRoomType === ROOM_1VS1 && r.members.length === 2 && r.members.includes(b)) return r;
        }
        return null;
    }

    createRoom(type, members) {
        const room = this.newRoom(type, members);
        this.reindex();
        this.changed();
        return room;
    }

    addRoomMembers(room, ids) {
        const added = [];
        for (const id of ids) {
            if (room.members.includes(id)) continue;
            room.members.push(id);
            added.push(id);
        }
        if (room.chattRoomType === ROOM_1VS1 && room.members.includes(room.leaveUserId)) room.leaveUserId = 0;
        room.updDatetime = Date.now();
        this.reindex();
        this.changed();
        return added;
    }

    // A one-to-one room keeps the partner who left as leaveUserId; a room nobody is left in goes.
    removeRoomMember(room, userId) {
        const at = room.members.indexOf(userId);
        if (at < 0) return false;
        room.members.splice(at, 1);
        if (!room.left) room.left = [];
        if (!room.left.includes(userId)) room.left.push(userId);
        if (room.chattRoomType === ROOM_1VS1) room.leaveUserId = userId;
        if (room.members.length === 0) room.deleted = true;
        room.updDatetime = Date.now();
        this.reindex();
        this.changed();
        return true;
    }

    hasLeft(room, userId) { return !!room.left?.includes(userId); }

    // --- history -----------------------------------------------------------------------------

    // The message ids of a room's history, made on first use and kept beside the list, so a
    // chat is checked for a repeated id without scanning the room.
    chatIds(list) {
        if (!this.chatIdSets) this.chatIdSets = new WeakMap();
        let ids = this.chatIdSets.get(list);
        if (!ids) {
            ids = new Set(list.map((c) => c.messageId));
            this.chatIdSets.set(list, ids);
        }
        return ids;
    }

    // A chat whose id is already kept replaces the earlier one (a resend).
    addChat(roomId, chat) {
        const list = this.s.chats[roomId] || (this.s.chats[roomId] = []);
        const ids = this.chatIds(list);
        if (ids.has(chat.messageId)) list.splice(list.findIndex((c) => c.messageId === chat.messageId), 1);
        ids.add(chat.messageId);
        list.push(chat);
        const room = this.s.rooms[roomId];
        if (room) room.updDatetime = Math.max(room.updDatetime, chat.timestamp);
        this.changed();
    }

    // Many chats at once, in time order with what the room holds (generated ids never repeat).
    appendChats(roomId, chats) {
        const list = this.s.chats[roomId] || (this.s.chats[roomId] = []);
        const ids = this.chatIds(list);
        const sorted = !list.length || !chats.length || chats[0].timestamp >= list[list.length - 1].timestamp;
        for (const c of chats) {
            list.push(c);
            ids.add(c.messageId);
        }
        if (!sorted) list.sort((a, b) => a.timestamp - b.timestamp);
        const room = this.s.rooms[roomId];
        if (room && chats.length) room.updDatetime = Math.max(room.updDatetime, list[list.length - 1].timestamp);
        this.changed();
    }

    // Chats older than the time stamp (all when it is 0), newest first: the client inserts each
    // element above the ones before it, so the page ends up in time order on screen.
    history(roomId, before, page, size) {
        const list = this.s.chats[roomId] || [];
        let end = list.length;
        if (before > 0) {
            // The client names the oldest chat it holds by the time inside that chat's message id
            // (the sender's clock when the id was made, which for an attachment can be long
            // before the server's time of the chat). Paging from that very chat loses nothing;
            // a time that names no chat falls back to the server's times.
            const key = String(before);
            end = -1;
            for (let i = list.length - 1; i >= 0; i--) {
                if (messageIdTime(list[i].messageId) === key) {
                    end = i;
                    break;
                }
            }
            if (end < 0) {
                end = 0;
                while (end < list.length && list[end].timestamp < before) end++;
            }
        }
        const skip = (page - 1) * size;
        const out = [];
        for (let i = end - 1 - skip; i >= 0 && out.length < size; i--) out.push(list[i]);
        return out;
    }

    // --- sessions ----------------------------------------------------------------------------

    // The keys the next session of a user gets instead of new ones (`POST /control/session/next`):
    // a recorded login replayed against an ended session then makes the same requests valid.
    presetKeys(userId, accessKey, clientId) {
        this.nextKeys ??= new Map();
        this.nextKeys.set(Number(userId), { accessKey, clientId });
    }

    createSession(userId, { deviceId = '', deviceModel = 'PC' } = {}) {
        const preset = this.nextKeys?.get(Number(userId));
        this.nextKeys?.delete(Number(userId));
        const accessKey = preset?.accessKey ?? crypto.randomBytes(24).toString('base64url');
        // One hyphen: the client reads the time of a message id as its third "-" field.
        const clientId = preset?.clientId ?? `pc${userId}-${crypto.randomBytes(5).toString('hex')}`;
        const sess = { accessKey, clientId, userId, deviceId, deviceModel, createdAt: Date.now(),
            lastSeen: Date.now(), ended: null };
        this.s.sessions[accessKey] = sess;
        this.changed();
        return sess;
    }

    session(accessKey) { return this.s.sessions[accessKey] || null; }
    sessionByClientId(clientId) {
        return Object.values(this.s.sessions).find((x) => x.clientId === clientId) || null;
    }
    liveSessions(userId) {
        return Object.values(this.s.sessions).filter((x) => x.userId === Number(userId) && !x.ended);
    }

    endSession(sess, code, message) {
        sess.ended = { code, message, at: Date.now() };
        this.changed();
    }

    // --- files -------------------------------------------------------------------------------

    newFileKey() {
        return `f${String(this.s.next.file++).padStart(6, '0')}${crypto.randomBytes(4).toString('hex')}`;
    }

    addFile(rec) {
        this.s.files[rec.fileKey] = rec;
        this.changed();
        return rec;
    }

    file(fileKey) { return this.s.files[fileKey] || null; }

    isBot(userId) { return !!this.s.users[userId]?.bot || Number(userId) === BOT_USER_ID; }
}
