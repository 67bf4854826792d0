// The REST side over HTTPS: every path the client calls, authenticated by its identifying
// headers, answering JSON or an error body; files and pictures without those headers.
import fs from 'node:fs';
import { Readable, pipeline as pipe } from 'node:stream';
import { pipeline } from 'node:stream/promises';
import Fastify from 'fastify';
import formbody from '@fastify/formbody';
import multipart from '@fastify/multipart';
import { ApiError, Err, sendApiError } from './errors.mjs';
import { FILE_SIZE_LIMIT, sanitizeFileName, updatePackage } from './files.mjs';
import { payloadLength, payloadStream, throttle } from './rate.mjs';
import { passwordDigest } from './seed.mjs';
import { EPOCH_STAMP, isStamp14 } from './timefmt.mjs';

function idParam(text, kind) {
    if (!/^[1-9]\d{0,9}$/.test(String(text))) throw new ApiError(kind, `not an id: ${text}`);
    return Number(text);
}

function field(form, name, { required = true } = {}) {
    const v = form?.[name];
    const one = Array.isArray(v) ? v[v.length - 1] : v;
    if (required && (one === undefined || one === '')) throw new ApiError(Err.MISSING_PARAM, `${name} is missing`);
    return one === undefined ? undefined : String(one);
}

const SERVED = ['/rest', '/files', '/pictures', '/download'];

export function buildRest({ store, ops, files, tls, requestLog, faults, rate, expiry, log }) {
    const app = Fastify({
        https: { key: fs.readFileSync(tls.key), cert: fs.readFileSync(tls.cert) },
        logger: false,
        bodyLimit: 1024 * 1024,
    });
    app.register(formbody);
    app.register(multipart, {
        limits: { fileSize: FILE_SIZE_LIMIT, files: 4, fields: 50, parts: 60, fieldSize: 1024 * 1024 },
        throwFileSizeLimit: false,
    });
    // GET and DELETE arrive with "Content-Type: text/plain" and no body.
    app.addContentTypeParser('text/plain', { parseAs: 'string' }, (req, body, done) => done(null, body));

    // Everything served is recorded and open to injected faults.
    const served = (url) => SERVED.some((p) => url === p || url.startsWith(`${p}/`) || url.startsWith(`${p}?`));
    app.addHook('onRequest', async (req, reply) => {
        if (!served(req.url)) return undefined;
        req.logEntry = requestLog.start(req);
        if (await faults.apply(req, reply)) return reply;
        return undefined;
    });
    app.addHook('preHandler', async (req) => {
        if (req.logEntry && req.body && typeof req.body === 'object' && !req.isMultipart()) {
            req.logEntry.form = { ...req.body };
        }
    });
    app.addHook('onSend', async (req, reply, payload) => {
        if (req.logEntry) req.logEntry.status = reply.statusCode;
        const held = await faults.hold(req, reply, payload);
        const bps = req.routeRate || rate.forAnswer(req.url);
        if (!bps) return held;
        if (req.logEntry) req.logEntry.rate = bps;
        const length = payloadLength(held);
        if (length !== null) reply.header('Content-Length', length);
        return pipe(payloadStream(held), throttle(bps), () => {});
    });
    app.addHook('onResponse', async (req, reply) => {
        if (req.logEntry) {
            req.logEntry.status = reply.statusCode;
            req.logEntry.answered = Date.now();
        }
    });

    app.setErrorHandler((err, req, reply) => {
        if (err instanceof ApiError) return sendApiError(reply, err);
        if (err.statusCode && err.statusCode < 500) {
            return sendApiError(reply, new ApiError(Err.BAD_PARAM, `${err.code || ''} ${err.message}`.trim()));
        }
        log(`rest: ${req.method} ${req.url} failed: ${err.stack || err}`);
        return sendApiError(reply, new ApiError(Err.SERVER, String(err.message || err)));
    });
    app.setNotFoundHandler((req, reply) => sendApiError(reply, new ApiError(Err.NO_PATH, `${req.method} ${req.url}`)));

    // Every /rest request but the login carries the session's keys.
    const auth = async (req) => {
        ops.checkVersion(req.headers);
        const key = req.headers['access-key'];
        const uid = req.headers['user-id'];
        const cid = req.headers['client-id'];
        if (!key || !uid || !cid) throw new ApiError(Err.NO_KEYS, 'Access-Key, User-Id and Client-Id are required');
        const sess = store.session(key);
        if (!sess || String(sess.userId) !== String(uid) || sess.clientId !== cid) {
            throw new ApiError(Err.NO_KEYS, 'the keys do not name a session');
        }
        await expiry.check(sess);
        if (sess.ended) {
            const kind = sess.ended.code === Err.ACCOUNT_REMOVED[1] ? Err.ACCOUNT_REMOVED : Err.SESSION_ENDED;
            throw new ApiError(kind, 'session ended', { message: sess.ended.message || kind[2] });
        }
        if (!store.isActiveUser(sess.userId)) throw new ApiError(Err.ACCOUNT_REMOVED, 'user removed');
        // The first login of a device may come before the client made its device id.
        if (!sess.deviceId && typeof req.headers['device-id'] === 'string') sess.deviceId = req.headers['device-id'];
        sess.lastSeen = Date.now();
        req.sess = sess;
        req.me = store.user(sess.userId);
    };
    const mine = (req, userIdText) => {
        if (String(userIdText) !== String(req.sess.userId)) throw new ApiError(Err.FORBIDDEN, `user ${userIdText} is not you`);
    };
    const secured = { preHandler: auth };

    app.post('/rest/auth', async (req) => ops.login(req.body || {}, req.headers));

    app.get('/rest/auth/ping', secured, async () => ({ status: 200, serverTime: Date.now() }));

    app.delete('/rest/auth/:userId', secured, async (req) => {
        mine(req, req.params.userId);
        await ops.endSessions([req.sess], Err.SESSION_ENDED[1], 'You have logged out.');
        // The client completes its logout only when the answer names its own user.
        return { status: 200, userId: req.sess.userId };
    });

    app.put('/rest/user', secured, async (req) => {
        const form = req.body || {};
        mine(req, field(form, 'userId'));
        const userName = field(form, 'userName').trim();
        if (!userName) throw new ApiError(Err.MISSING_PARAM, 'userName is empty');
        const change = { userName };
        for (const k of ['chattingAllowYn', 'telOpenYn']) {
            const v = field(form, k, { required: false });
            if (v === undefined) continue;
            if (v !== '0' && v !== '1') throw new ApiError(Err.BAD_PARAM, `${k} must be 0 or 1`);
            change[k] = v;
        }
        const tel = field(form, 'tel', { required: false });
        if (tel !== undefined) change.tel = tel;
        const fileKey = field(form, 'fileKey', { required: false });
        if (fileKey === '0') {
            change.thumbUrl = '';
            change.imageUrl = '';
        } else if (fileKey) {
            const rec = store.file(fileKey);
            if (!rec || rec.ownerId !== req.sess.userId || !rec.imageUrl) {
                throw new ApiError(Err.BAD_PARAM, `fileKey ${fileKey} is not your uploaded picture`);
            }
            change.thumbUrl = rec.thumbUrl;
            change.imageUrl = rec.imageUrl;
        }
        const u = store.updateUser(req.me, change);
        return { status: 200, ...store.userJson(u) };
    });

    app.put('/rest/user/password', secured, async (req) => {
        const form = req.body || {};
        const o = field(form, 'oPasswd'), n = field(form, 'nPasswd'), c = field(form, 'cPasswd');
        if (passwordDigest(o) !== req.me.passwd) throw new ApiError(Err.WRONG_PASSWORD);
        if (n !== c) throw new ApiError(Err.PASSWORD_CONFIRM);
        if ([...n].length < 9 || [...n].length > 20) throw new ApiError(Err.PASSWORD_POLICY);
        store.updateUser(req.me, { password: n });
        return { status: 200 };
    });

    app.get('/rest/file/auth', secured, async () => ({ ...store.s.settings.fileAuth }));

    app.get('/rest/cache/:userId/:since', secured, async (req) => {
        mine(req, req.params.userId);
        const since = req.params.since;
        if (since !== EPOCH_STAMP && !isStamp14(since)) throw new ApiError(Err.BAD_PARAM, `time stamp ${since}`);
        return { status: 200, ...store.cache(since) };
    });

    app.get('/rest/chatt/room/savechatlist/:roomId/:ts/:page/:size', secured, async (req) => {
        const { ts, page, size } = req.params;
        const roomId = idParam(req.params.roomId, Err.NO_ROOM);
        if (!store.room(roomId)) throw new ApiError(Err.NO_ROOM, `room ${roomId}`);
        if (!store.isMember(roomId, req.sess.userId)) throw new ApiError(Err.NOT_MEMBER, `room ${roomId}`);
        if (!/^\d{1,16}$/.test(ts) || !/^[1-9]\d{0,5}$/.test(page) || !/^[1-9]\d{0,2}$/.test(size)) {
            throw new ApiError(Err.BAD_PARAM, `${ts}/${page}/${size}`);
        }
        const list = store.history(roomId, Number(ts), Number(page), Math.min(Number(size), 100));
        return { status: 200, list };
    });

    app.get('/rest/group/info/:grpId', secured, async (req) => {
        const g = store.activeGroup(idParam(req.params.grpId, Err.NO_GROUP));
        if (!g) throw new ApiError(Err.NO_GROUP, `group ${req.params.grpId}`);
        if (!store.isGroupMember(g.grpId, req.sess.userId)) throw new ApiError(Err.NOT_MEMBER, `group ${g.grpId}`);
        const members = store.groupMemberIds(g.grpId).map((id) => {
            const u = store.userJson(store.user(id));
            return { ...u, ...store.membershipJson(store.membership(g.grpId, id)), user: u };
        });
        return { status: 200, ...store.groupJson(g), chattRoomId: g.roomId, members };
    });

    app.get('/rest/chatt/room/:userId', secured, async (req) => {
        mine(req, req.params.userId);
        return { status: 200, list: store.userRoomIds(req.sess.userId).map((id) => store.roomJson(store.room(id))) };
    });

    app.get('/rest/chatt/room/:userId/:roomId', secured, async (req) => {
        mine(req, req.params.userId);
        const room = store.room(idParam(req.params.roomId, Err.NO_ROOM));
        if (!room) throw new ApiError(Err.NO_ROOM, `room ${req.params.roomId}`);
        if (!store.isMember(room.chattRoomId, req.sess.userId)) throw new ApiError(Err.NOT_MEMBER, `room ${room.chattRoomId}`);
        return { status: 200, ...store.roomJson(room) };
    });

    app.post('/rest/chatt/room', secured, async (req) => {
        const form = req.body || {};
        mine(req, field(form, 'userId'));
        if (form.members === undefined) throw new ApiError(Err.MISSING_PARAM, 'members is missing');
        const room = await ops.createRoom(req.sess.userId, form.members, field(form, 'roomType'));
        return { status: 200, ...store.roomJson(room) };
    });

    app.post('/rest/chatt/room/member', secured, async (req) => {
        const form = req.body || {};
        mine(req, field(form, 'userId'));
        if (form.members === undefined) throw new ApiError(Err.MISSING_PARAM, 'members is missing');
        const room = store.room(idParam(field(form, 'roomId'), Err.NO_ROOM));
        if (!room) throw new ApiError(Err.NO_ROOM, `room ${form.roomId}`);
        await ops.invite(req.sess.userId, room, form.members);
        return { status: 200, ...store.roomJson(room) };
    });

    app.delete('/rest/chatt/room/member/:userId/:roomId/:roomType', secured, async (req) => {
        mine(req, req.params.userId);
        return ops.leave(req.sess.userId, idParam(req.params.roomId, Err.NO_ROOM));
    });

    const upload = (kind) => async (req, reply) => {
        if (!req.isMultipart()) throw new ApiError(Err.BAD_UPLOAD, 'Content-Type is not multipart/form-data');
        const form = {};
        const parts = [];
        let file = null, tmp = null, tooLarge = false, misplaced = null;
        try {
            for await (const part of req.parts()) {
                parts.push(part.fieldname);
                if (part.type !== 'file') {
                    if (file) misplaced = misplaced || `field ${part.fieldname} after the file part`;
                    form[part.fieldname] = part.value;
                    continue;
                }
                if (part.fieldname !== 'file' || file) {
                    misplaced = misplaced || `unexpected file part ${part.fieldname}`;
                    part.file.resume();
                    await new Promise((r) => part.file.on('end', r));
                    continue;
                }
                tmp = files.tmpPath();
                const bps = rate.forUpload(req.url);
                if (req.logEntry && bps) req.logEntry.rate = bps;
                await (bps ? pipeline(part.file, throttle(bps), fs.createWriteStream(tmp))
                    : pipeline(part.file, fs.createWriteStream(tmp)));
                tooLarge = part.file.truncated;
                file = { filename: part.filename, mimetype: part.mimetype, size: fs.statSync(tmp).size };
            }
        } catch (e) {
            if (tmp) fs.rmSync(tmp, { force: true });
            throw new ApiError(Err.BAD_UPLOAD, `${e.code || ''} ${e.message}`.trim());
        }
        if (req.logEntry) Object.assign(req.logEntry, { form, parts, file });
        const fail = (err) => {
            if (tmp) fs.rmSync(tmp, { force: true });
            throw err;
        };
        if (tooLarge) fail(new ApiError(Err.TOO_LARGE, `more than ${FILE_SIZE_LIMIT} bytes`));
        if (!file) fail(new ApiError(Err.BAD_UPLOAD, 'no part named file'));
        if (misplaced) fail(new ApiError(Err.BAD_UPLOAD, misplaced));
        try {
            mine(req, field(form, 'userId'));
            field(form, 'uploadFileName');
        } catch (e) {
            fail(e);
        }
        const contentType = form.contentType ?? '';
        if (kind === 'chat' && contentType !== '10' && contentType !== '20') {
            fail(new ApiError(Err.BAD_PARAM, `contentType ${contentType}`));
        }
        const orgFileName = sanitizeFileName(form.uploadFileName || file.filename);
        const rec = files.adopt(tmp, { ownerId: req.sess.userId, orgFileName, contentType,
            width: form.width, height: form.height, picture: kind === 'profile' || contentType === '20' });
        log(`upload: ${kind} ${orgFileName} ${rec.fileSize} bytes -> ${rec.webUrl}`);
        return reply.send({ status: 200, fileKey: rec.fileKey, fileSize: rec.fileSize, webUrl: rec.webUrl,
            contentType, orgFileName, width: rec.width, height: rec.height, thumbUrl: rec.thumbUrl,
            imageUrl: rec.imageUrl });
    };
    app.post('/rest/file/chat', secured, upload('chat'));
    app.post('/rest/file', secured, upload('profile'));

    // Pictures, attachments and update packages: fetched without the identifying headers.
    const serve = (kind) => async (req, reply) => {
        const found = files.resolve(kind, req.params.name);
        if (!found) throw new ApiError(Err.NO_PATH, `${kind}/${req.params.name}`);
        const size = fs.statSync(found.file).size;
        return reply.type(found.type).header('Content-Length', size).send(fs.createReadStream(found.file));
    };
    app.get('/files/:name', serve('files'));
    app.get('/pictures/:name', serve('pictures'));
    app.get('/download/:name', async (req, reply) => {
        if (!/^[A-Za-z0-9][A-Za-z0-9._-]{0,100}$/.test(req.params.name)) throw new ApiError(Err.NO_PATH, req.params.name);
        const { updateSize = null, updateChunked = false, updateRate = 0 } = store.s.settings;
        const pkg = updatePackage(req.params.name, updateSize);
        req.routeRate = updateRate;
        reply.type('application/octet-stream').header('Content-Disposition', `attachment; filename="${req.params.name}"`);
        // Without a length the answer goes out chunked, its total unknown to the client.
        const slices = [];
        for (let off = 0; off < pkg.length; off += 65536) slices.push(pkg.subarray(off, off + 65536));
        return reply.send(updateChunked ? Readable.from(slices, { objectMode: false }) : pkg);
    });
    return app;
}
