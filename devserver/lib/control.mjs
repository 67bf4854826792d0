// The control interface (HTTP, JSON, loopback only) through which tests and the demo drive the
// server: messages in anyone's name, directory and group changes, session endings, faults, and
// the record of what the REST side received.
import Fastify from 'fastify';
import { ApiError, Err } from './errors.mjs';
import { MsgType, roomTopic } from './protocol.mjs';
import { registerBulkControl } from './controlbulk.mjs';
import { registerSessionControl } from './controlsessions.mjs';
import { parseIds } from './ops.mjs';

export function buildControl({ store, ops, broker, requestLog, faults, rate, expiry, bulk, bot, info, log }) {
    const app = Fastify({ logger: false, bodyLimit: 80 * 1024 * 1024 });
    app.setErrorHandler((err, req, reply) => {
        if (err instanceof ApiError) return reply.code(err.status).send(err.body());
        return reply.code(err.statusCode && err.statusCode < 500 ? err.statusCode : 400)
            .send({ code: 0, message: String(err.message || err), developerMessage: 'control' });
    });

    const need = (body, ...names) => {
        for (const n of names) {
            if (body?.[n] === undefined || body[n] === null || body[n] === '') {
                throw new ApiError(Err.MISSING_PARAM, `${n} is required`);
            }
        }
        return body;
    };
    const room = (id) => {
        const r = store.room(Number(id));
        if (!r) throw new ApiError(Err.NO_ROOM, `room ${id}`);
        return r;
    };
    const sessionsFor = (b) => {
        if (b.accessKey) return [store.session(b.accessKey)].filter(Boolean);
        if (b.clientId) return [store.sessionByClientId(b.clientId)].filter(Boolean);
        if (b.userId) return store.liveSessions(Number(b.userId));
        throw new ApiError(Err.MISSING_PARAM, 'userId, clientId or accessKey is required');
    };
    const sessionJson = (s) => ({ userId: s.userId, accessKey: s.accessKey, clientId: s.clientId,
        deviceId: s.deviceId, deviceModel: s.deviceModel, createdAt: s.createdAt, lastSeen: s.lastSeen,
        ended: s.ended, connected: !!broker.client(s.clientId), rotate: !!s.rotate, retired: !!s.retired });

    app.get('/control/status', async () => ({ ...info(), users: Object.keys(store.s.users).length,
        groups: Object.keys(store.s.groups).length, rooms: Object.keys(store.s.rooms).length,
        sessions: Object.values(store.s.sessions).filter((s) => !s.ended).length, demo: bot.enabled,
        settings: store.s.settings, custOpts: store.s.custOpts, rate: rate.rule, sessionIdle: expiry.seconds }));

    app.get('/control/requests', async (req) => requestLog.list({ n: Number(req.query.n) || 50,
        path: req.query.path, method: req.query.method, since: Number(req.query.since) || 0 }));
    app.get('/control/connections', async () => ({ ...requestLog.connections, open: requestLog.open.size }));
    app.post('/control/connections/close', async () => ({ ok: true, closed: requestLog.closeConnections() }));
    app.delete('/control/requests', async () => {
        requestLog.clear();
        return { ok: true };
    });

    app.post('/control/fail', async (req) => ({ ok: true, rule: faults.set(req.body || { mode: 'off' }) }));
    app.post('/control/rate', async (req) => ({ ok: true, rule: rate.set(req.body || {}) }));
    app.post('/control/version', async (req) => {
        const b = req.body || {};
        const whole = (v, name, least) => {
            if (v === undefined || v === null) return null;
            if (!Number.isInteger(v) || v < least) throw new ApiError(Err.BAD_PARAM, `${name} must be a whole number, ${least} or more`);
            return v;
        };
        const st = store.s.settings;
        const size = whole(b.size, 'size', 0);
        const bytesPerSecond = whole(b.bytesPerSecond, 'bytesPerSecond', 0);
        st.minAppVer = b.minVersion ? Number(b.minVersion) : null;
        // An empty link is kept as given: the refusal then names no package.
        st.updateLink = typeof b.link === 'string' ? b.link : null;
        st.updateSize = size;
        st.updateChunked = !!b.chunked;
        st.updateRate = bytesPerSecond || 0;
        store.changed();
        return { ok: true, minVersion: st.minAppVer, link: st.minAppVer ? ops.updateLink() : null,
            size: st.updateSize, chunked: st.updateChunked, bytesPerSecond: st.updateRate };
    });
    app.post('/control/options', async (req) => {
        for (const [code, value] of Object.entries(req.body || {})) store.setOption(code, value);
        return { ok: true, custOpts: store.s.custOpts };
    });
    app.post('/control/fileauth', async (req) => {
        const b = req.body || {};
        store.s.settings.fileAuth = { status: Number(b.status) || 200, message: b.message ?? 'OK' };
        store.changed();
        return { ok: true, fileAuth: store.s.settings.fileAuth };
    });

    // --- messages --------------------------------------------------------------------------
    app.post('/control/chat', async (req) => {
        const b = need(req.body, 'roomId', 'userId');
        return ops.postChat({ ...b, roomId: Number(b.roomId), userId: Number(b.userId) });
    });
    app.post('/control/read', async (req) => {
        const b = need(req.body, 'roomId', 'userId');
        return ops.sendRead({ ...b, roomId: Number(b.roomId), userId: Number(b.userId), type: b.type ?? MsgType.ENTERREAD });
    });
    app.post('/control/publish', async (req) => {
        const b = need(req.body, 'topic');
        await broker.publish(String(b.topic), Buffer.from(b.payload || '', 'base64'));
        return { ok: true };
    });
    app.post('/control/push', async (req) => {
        const b = need(req.body, 'roomId', 'contents');
        await ops.sendPush(room(b.roomId).chattRoomId, b.contents, Number(b.senderId) || 0);
        return { ok: true };
    });

    // --- rooms -------------------------------------------------------------------------------
    app.post('/control/room', async (req) => {
        const b = need(req.body, 'userId', 'members');
        const r = await ops.createRoom(Number(b.userId), b.members, b.roomType ?? 30);
        const json = store.roomJson(r);
        if (b.notify !== false) await ops.sendRoomEvent(MsgType.INVITE, b.userId, r, { chatRoomInfo: json });
        return json;
    });
    app.post('/control/room/invite', async (req) => {
        const b = need(req.body, 'roomId', 'userId', 'members');
        const r = room(b.roomId);
        const before = new Set(r.members);
        await ops.invite(Number(b.userId), r, b.members);
        const json = store.roomJson(r);
        const added = r.members.filter((id) => !before.has(id)).map(String);
        if (b.notify !== false) {
            await ops.sendRoomEvent(MsgType.ADMISSION, b.userId, r, { inviteUserIds: added, chatRoomInfo: json });
        }
        return json;
    });
    app.post('/control/room/leave', async (req) => {
        const b = need(req.body, 'roomId', 'userId');
        const r = room(b.roomId);
        if (b.notify !== false) await ops.sendRoomEvent(MsgType.LEAVE, b.userId, r, { chatRoomType: r.chattRoomType });
        return ops.leave(Number(b.userId), r.chattRoomId);
    });
    app.get('/control/rooms', async (req) => {
        const ids = req.query.userId ? store.userRoomIds(Number(req.query.userId))
            : Object.values(store.s.rooms).filter((r) => !r.deleted).map((r) => r.chattRoomId);
        return ids.map((id) => ({ ...store.roomJson(store.room(id)), topic: roomTopic(id),
            memberIds: store.roomMembers(store.room(id)), chats: (store.s.chats[id] || []).length }));
    });
    app.get('/control/history/:roomId', async (req) => {
        const list = store.s.chats[Number(req.params.roomId)] || [];
        return list.slice(-(Number(req.query.n) || 100));
    });

    // --- groups and directory ------------------------------------------------------------------
    app.post('/control/group', async (req) => {
        const g = await ops.addGroup(need(req.body, 'grpName'));
        return { ...store.groupJson(g), chattRoomId: g.roomId, members: store.groupMemberIds(g.grpId) };
    });
    app.post('/control/group/member', async (req) => {
        const b = need(req.body, 'grpId', 'userId');
        return ops.setGroupMember(Number(b.grpId), Number(b.userId), { leaderType: b.leaderType ?? '0', mbrStatus: b.mbrStatus ?? '1' });
    });
    app.post('/control/group/member/remove', async (req) => {
        const b = need(req.body, 'grpId', 'userId');
        return ops.removeGroupMember(Number(b.grpId), Number(b.userId));
    });
    app.post('/control/group/remove', async (req) => {
        const g = await ops.removeGroup(Number(need(req.body, 'grpId').grpId));
        return { ok: true, grpId: g.grpId };
    });
    app.get('/control/groups/:grpId', async (req) => {
        const g = store.group(Number(req.params.grpId));
        if (!g) throw new ApiError(Err.NO_GROUP, req.params.grpId);
        return { ...store.groupJson(g, { withState: true }), chattRoomId: g.roomId, members: store.groupMemberIds(g.grpId) };
    });
    app.get('/control/users', async (req) => {
        if (req.query.account) {
            const u = store.userByAccount(req.query.account);
            if (!u) throw new ApiError(Err.NO_USER, req.query.account);
            return store.userJson(u, { withState: true });
        }
        return Object.values(store.s.users).slice(0, Number(req.query.n) || 50).map((u) => store.userJson(u, { withState: true }));
    });
    app.get('/control/users/:userId', async (req) => {
        const u = store.user(Number(req.params.userId));
        if (!u) throw new ApiError(Err.NO_USER, req.params.userId);
        return { ...store.userJson(u, { withState: true }), updDatetime: u.updDatetime,
            groups: Object.values(store.s.memberships).filter((m) => m.userId === u.userId && m.state !== 'D').map((m) => m.grpId) };
    });
    app.post('/control/user', async (req) => store.userJson(store.addUser(req.body || {}), { withState: true }));
    app.put('/control/user/:userId', async (req) => {
        const u = store.user(Number(req.params.userId));
        if (!u) throw new ApiError(Err.NO_USER, req.params.userId);
        return store.userJson(store.updateUser(u, req.body || {}), { withState: true });
    });
    app.delete('/control/user/:userId', async (req) => store.userJson(await ops.deleteUser(Number(req.params.userId)), { withState: true }));

    // --- sessions ------------------------------------------------------------------------------
    app.post('/control/session', async (req) => {
        const b = need(req.body, 'userId');
        ops.requireUser(Number(b.userId));
        const s = store.createSession(Number(b.userId), { deviceId: b.deviceId || '', deviceModel: b.deviceModel || 'MOBILE' });
        await broker.syncSession(s);
        return sessionJson(s);
    });
    app.get('/control/sessions', async (req) => Object.values(store.s.sessions)
        .filter((s) => !req.query.userId || s.userId === Number(req.query.userId)).map(sessionJson));
    app.post('/control/logout', async (req) => {
        const b = req.body || {};
        const sessions = sessionsFor(b);
        const sent = await ops.sendLogout(sessions);
        if (b.end) await ops.endSessions(sessions, Err.SESSION_ENDED[1], b.message || 'You were logged out.');
        return { ok: true, sessions: sessions.length, notified: sent };
    });
    app.post('/control/session/end', async (req) => {
        const b = req.body || {};
        const code = Number(b.code) || Err.SESSION_ENDED[1];
        if (code !== Err.SESSION_ENDED[1] && code !== Err.ACCOUNT_REMOVED[1]) throw new ApiError(Err.BAD_PARAM, 'code is 40104 or 40108');
        const sessions = sessionsFor(b);
        await ops.endSessions(sessions, code, b.message || (code === Err.ACCOUNT_REMOVED[1] ? Err.ACCOUNT_REMOVED[2] : Err.SESSION_ENDED[2]));
        return { ok: true, sessions: sessions.length };
    });

    // {userId, accessKey, clientId}: the user's next session, by a login or as above, gets these
    // keys. Only keys of no live session are taken: two live sessions would share them.
    app.post('/control/session/next', async (req) => {
        const b = need(req.body, 'userId', 'accessKey', 'clientId');
        ops.requireUser(Number(b.userId));
        const taken = store.session(b.accessKey) || store.sessionByClientId(b.clientId);
        if (taken && !taken.ended) throw new ApiError(Err.BAD_PARAM, 'the keys name a live session');
        store.presetKeys(b.userId, String(b.accessKey), String(b.clientId));
        return { ok: true };
    });
    registerSessionControl(app, { store, ops, broker, expiry, sessionsFor });
    registerBulkControl(app, { bulk, broker, ops });

    app.post('/control/demo', async (req) => {
        bot.enabled = !!req.body?.on;
        return { ok: true, demo: bot.enabled };
    });
    app.post('/control/save', async () => {
        store.saveNow();
        return { ok: true };
    });
    app.setNotFoundHandler((req, reply) => reply.code(404).send({ code: 40404, message: `no control path ${req.method} ${req.url}`, developerMessage: 'control' }));
    return app;
}
export { parseIds };
