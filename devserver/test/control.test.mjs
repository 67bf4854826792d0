import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';
import * as h from './helpers.mjs';

test('state survives a restart; --reset starts afresh', async (t) => {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'veltri-restart-'));
    let srv;
    t.after(async () => { await srv?.stop(); fs.rmSync(dir, { recursive: true, force: true }); });
    srv = await h.startServer({ dataDir: dir });
    const first = (await h.login(srv, 'user006')).session;
    const room = (await first.api('POST', '/rest/chatt/room', { form: { members: [1007], userId: first.userId, roomType: 30 } })).json;
    await srv.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: 1007, text: 'kept' });
    await srv.control('PUT', '/control/user/1007', { userName: 'Persisted Name' });
    const ca = fs.readFileSync(path.join(dir, 'ca.pem'), 'utf8');
    await srv.stop();

    srv = await h.startServer({ dataDir: dir });
    assert.equal(fs.readFileSync(path.join(dir, 'ca.pem'), 'utf8'), ca, 'the CA is made once per folder');
    const again = (p) => h.api(srv, 'GET', p, { headers: first.headers });
    assert.equal((await again('/rest/auth/ping')).status, 200, 'the session is still valid');
    assert.equal((await again(`/rest/chatt/room/savechatlist/${room.chattRoomId}/0/1/50`)).json.list[0].contents, 'kept');
    assert.equal((await srv.control('GET', '/control/users/1007')).userName, 'Persisted Name');
    const ini = fs.readFileSync(path.join(dir, 'client.ini'), 'utf8');
    assert.ok(ini.includes(`RestPort=${srv.rest}`) && ini.includes('CaFile=ca.pem'), ini);
    await srv.stop();

    srv = await h.startServer({ dataDir: dir, args: ['--reset'] });
    assert.equal((await again('/rest/auth/ping')).json.code, 40100, 'sessions are gone after --reset');
    assert.notEqual((await srv.control('GET', '/control/users/1007')).userName, 'Persisted Name');
});

test('--demo switches server history on (option 950); the control interface can switch it off', async (t) => {
    const srv = await h.startServer({ args: ['--demo'] });
    t.after(() => srv.stop());
    const history = async () => (await srv.control('GET', '/control/status')).custOpts['950'].optValue;
    assert.equal(await history(), '1');
    await srv.control('POST', '/control/options', { 950: '0' });
    assert.equal(await history(), '0');
});
