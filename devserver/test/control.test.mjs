import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { ContentType, MsgType, decode } from '../lib/protocol.mjs';
import * as h from './helpers.mjs';

let s;
before(async () => { s = await h.startServer({ args: ['--demo'] }); });
after(async () => { await s.stop(); });

test('the request record holds method, path, headers and form fields', async () => {
    await s.control('DELETE', '/control/requests');
    const { session } = await h.login(s, 'user002');
    await session.api('POST', '/rest/chatt/room', { form: { members: [1003, 1004], userId: session.userId, roomType: 30 } });
    const all = await s.control('GET', '/control/requests');
    assert.deepEqual(all.map((e) => `${e.method} ${e.path}`), ['POST /rest/auth', 'POST /rest/chatt/room']);
    const [auth, room] = all;
    assert.equal(auth.form.loginAccnt, 'user002');
    assert.equal(auth.form.passwd, h.digest(h.PASSWORD).replace(/\+/g, '%2B'));
    assert.deepEqual(room.form.members, ['1003', '1004']);
    assert.equal(room.headers['access-key'], session.accessKey);
    assert.equal(room.headers['client-id'], session.clientId);
    assert.equal(room.headers['app-ver'], '1046');
    assert.equal(room.status, 200);
    assert.equal((await s.control('GET', `/control/requests?since=${auth.seq}`)).length, 1);
});

test('faults: error answers with and without a body, and requests that hang until released', async () => {
    const { session } = await h.login(s, 'user003');
    await s.control('POST', '/control/fail', { mode: 'error', status: 500, code: 50001, message: 'boom', count: 1 });
    const failed = await session.api('GET', '/rest/auth/ping');
    assert.equal(failed.status, 500);
    assert.equal(failed.json.code, 50001);
    assert.equal(failed.json.message, 'boom');
    assert.equal((await session.api('GET', '/rest/auth/ping')).status, 200, 'count 1: only one request failed');

    await s.control('POST', '/control/fail', { mode: 'error', status: 502, body: 'empty', path: '/rest/cache' });
    const empty = await session.api('GET', `/rest/cache/${session.userId}/19700101000000`);
    assert.equal(empty.status, 502);
    assert.equal(empty.body.length, 0);
    assert.equal((await session.api('GET', '/rest/auth/ping')).status, 200, 'other paths are untouched');

    await s.control('POST', '/control/fail', { mode: 'hang', path: '/rest/auth/ping' });
    let answered = false;
    const pending = session.api('GET', '/rest/auth/ping').then((r) => { answered = true; return r; });
    await h.sleep(300);
    assert.equal(answered, false);
    await s.control('POST', '/control/fail', { mode: 'off' });
    const late = await pending;
    assert.equal(late.status, 503);
    assert.equal((await session.api('GET', '/rest/auth/ping')).status, 200);
});

test('control chats: text, picture and file in anyone\'s name, with files the client can fetch', async () => {
    const { session } = await h.login(s, 'user004');
    const room = await s.control('POST', '/control/room', { userId: 1004, members: [1005], roomType: 20, notify: false });
    const c = await h.sessionMqtt(s, session);
    try {
        await s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: 1005, text: 'plain' });
        const pic = await s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: 1005, contentType: 2 });
        const file = await s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: 1005, contentType: 4,
            fileName: 'a.txt', data: Buffer.from('file body').toString('base64') });
        const mine = () => c.received.filter((m) => m.topic === `chat/${room.chattRoomId}`);
        await h.waitFor(() => mine().length >= 3, { what: 'three chats' });
        const ds = mine().map((m) => decode(m.payload));
        assert.deepEqual(ds.map((d) => d.contentType), [ContentType.TEXT, ContentType.IMAGE, ContentType.FILE]);
        const img = JSON.parse(ds[1].contents);
        assert.deepEqual(Object.keys(img).sort(), ['file_name', 'height', 'remote_path_url', 'remote_thumb_url', 'width']);
        assert.equal((await s.api('GET', img.remote_thumb_url, {})).status, 200);
        const f = JSON.parse(ds[2].contents);
        assert.deepEqual(Object.keys(f).sort(), ['file_name', 'file_size', 'remote_path_url']);
        assert.equal((await s.api('GET', f.remote_path_url, {})).body.toString(), 'file body');
        assert.equal(ds[1].messageId, pic.messageId);
        assert.equal(file.messageId.split('-')[2].slice(0, 13), String(file.timestamp));
        await assert.rejects(s.control('POST', '/control/chat', { roomId: 999999, userId: 1005, text: 'x' }), /40400/);
    } finally {
        c.end(true);
    }
});

test('the demo member reads, answers in its rooms, and greets a new room', async () => {
    const { session } = await h.login(s, 'user005');
    const c = await h.sessionMqtt(s, session);
    try {
        const room = await s.control('POST', '/control/room', { userId: session.userId, members: [999], roomType: 20 });
        await h.waitFor(() => c.received.some((m) => decode(m.payload).senderId === 999), { what: 'greeting', timeout: 8000 });
        await s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: session.userId, text: 'ping bot' });
        const read = await h.waitFor(() => c.received.find((m) => decode(m.payload).type === MsgType.ENTERREAD), { what: 'read receipt', timeout: 8000 });
        assert.equal(decode(read.payload).senderId, 999);
        await h.waitFor(() => c.received.some((m) => decode(m.payload).contents?.includes('ping bot') && decode(m.payload).senderId === 999),
            { what: 'answer', timeout: 8000 });
    } finally {
        c.end(true);
    }
});

test('state survives a restart; --reset starts afresh', async () => {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'veltri-restart-'));
    try {
        let srv = await h.startServer({ dataDir: dir });
        const first = (await h.login(srv, 'user006')).session;
        const room = (await first.api('POST', '/rest/chatt/room', { form: { members: [1007], userId: first.userId, roomType: 30 } })).json;
        await srv.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: 1007, text: 'kept' });
        await srv.control('PUT', '/control/user/1007', { userName: 'Persisted Name' });
        const ca = fs.readFileSync(path.join(dir, 'ca.pem'), 'utf8');
        await srv.stop();

        srv = await h.startServer({ dataDir: dir });
        assert.equal(fs.readFileSync(path.join(dir, 'ca.pem'), 'utf8'), ca, 'the CA is made once per folder');
        const again = { ...first, api: (m, p, o = {}) => srv.api(m, p, { ...o, headers: first.headers }) };
        assert.equal((await again.api('GET', '/rest/auth/ping')).status, 200, 'the session is still valid');
        const hist = await again.api('GET', `/rest/chatt/room/savechatlist/${room.chattRoomId}/0/1/50`);
        assert.equal(hist.json.list[0].contents, 'kept');
        assert.equal((await srv.control('GET', '/control/users/1007')).userName, 'Persisted Name');
        const ini = fs.readFileSync(path.join(dir, 'client.ini'), 'utf8');
        assert.match(ini, new RegExp(`RestPort=${srv.rest}`));
        assert.match(ini, /CaFile=ca.pem/);
        await srv.stop();

        srv = await h.startServer({ dataDir: dir, args: ['--reset'] });
        const fresh = await h.api(srv, 'GET', '/rest/auth/ping', { headers: first.headers });
        assert.equal(fresh.json.code, 40100, 'sessions are gone after --reset');
        assert.notEqual((await srv.control('GET', '/control/users/1007')).userName, 'Persisted Name');
        await srv.stop();
    } finally {
        fs.rmSync(dir, { recursive: true, force: true });
    }
});
