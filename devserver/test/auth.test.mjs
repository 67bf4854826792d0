import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { decode } from '../lib/protocol.mjs';
import * as h from './helpers.mjs';

let s;
before(async () => { s = await h.startServer(); });
after(async () => { await s.stop(); });

// A password whose digest holds "+", "/" and "=": the three ways a form encoder may deliver "+".
function passwordWithPlus() {
    for (let i = 0; ; i++) {
        const p = `Plus${i}word!`;
        if (h.digest(p).includes('+')) return p;
    }
}

test('login answers the session keys the client reads', async () => {
    const { res, session } = await h.login(s, 'user002');
    assert.equal(res.status, 200);
    for (const k of ['loginAccnt', 'userId', 'userName', 'thumbUrl', 'custId']) assert.ok(k in res.json, k);
    assert.equal(res.json.loginAccnt, 'user002');
    assert.equal(typeof res.json.client.accessKey, 'string');
    assert.equal(session.clientId.split('-').length, 2, 'one hyphen: message ids carry their time as third field');
    assert.ok(session.clientId.length <= 23, 'MQTT 3.1 client id limit');
});

test('login refusals', async () => {
    const cases = [
        [{ loginAccnt: 'user003', passwd: h.digest('wrong'), deviceModel: 'PC', forceYn: 0 }, 40101],
        [{ loginAccnt: 'nobody', passwd: h.digest(h.PASSWORD), deviceModel: 'PC', forceYn: 0 }, 40101],
        [{ loginAccnt: 'user003', deviceModel: 'PC', forceYn: 0 }, 40001],
        [{ passwd: h.digest(h.PASSWORD) }, 40001],
        [{ loginAccnt: 'user003', passwd: h.PASSWORD }, 40101],
    ];
    for (const [form, code] of cases) {
        const res = await s.api('POST', '/rest/auth', { form });
        assert.notEqual(res.status, 200);
        assert.equal(res.json.code, code, JSON.stringify(form));
        assert.equal(typeof res.json.message, 'string');
        assert.equal(typeof res.json.developerMessage, 'string');
        assert.equal(res.json.client, undefined);
    }
});

test('a digest with "+" is accepted as %2B text, as an encoded plus and as a raw plus', async () => {
    const pw = passwordWithPlus();
    await s.control('PUT', '/control/user/1004', { password: pw });
    const d = h.digest(pw);
    const variants = [
        `loginAccnt=user004&passwd=${encodeURIComponent(d.replace(/\+/g, '%2B'))}&deviceModel=PC&forceYn=0`,
        `loginAccnt=user004&passwd=${encodeURIComponent(d)}&deviceModel=PC&forceYn=0`,
        `loginAccnt=user004&passwd=${d}&deviceModel=PC&forceYn=0`,
    ];
    for (const body of variants) {
        const res = await s.api('POST', '/rest/auth', { body, headers: { 'Content-Type': 'application/x-www-form-urlencoded', 'Device-Id': 'plus' } });
        assert.equal(res.status, 200, body);
    }
    const { res } = await h.login(s, 'user004', h.PASSWORD, { deviceId: 'plus' });
    assert.equal(res.json.code, 40101, 'the old password no longer works');
});

test('logged in elsewhere: 40102, forceYn 1 takes over with a LOGOUT notice, the old session gets 40104', async () => {
    const first = (await h.login(s, 'user005', h.PASSWORD, { deviceId: 'pc-A' })).session;
    const again = await h.login(s, 'user005', h.PASSWORD, { deviceId: 'pc-A' });
    assert.equal(again.session.accessKey, first.accessKey, 'the same device keeps its session');
    const mq = await h.sessionMqtt(s, first);
    const other = await h.login(s, 'user005', h.PASSWORD, { deviceId: 'pc-B' });
    assert.equal(other.res.json.code, 40102);
    assert.equal((await first.api('GET', '/rest/auth/ping')).status, 200, 'a refused login changes nothing');
    const forced = await h.login(s, 'user005', h.PASSWORD, { deviceId: 'pc-B', force: true });
    assert.equal(forced.res.status, 200);
    await h.waitFor(() => mq.received.length > 0, { what: 'LOGOUT' });
    assert.equal(mq.received[0].payload.length, 9);
    assert.equal(decode(mq.received[0].payload).type, 99);
    const ping = await first.api('GET', '/rest/auth/ping');
    assert.equal(ping.json.code, 40104);
    assert.equal((await forced.session.api('GET', '/rest/auth/ping')).status, 200);
    mq.end(true);
});

test('wrong or missing keys never get data', async () => {
    const { session } = await h.login(s, 'user006');
    const uid = session.userId;
    const paths = [['GET', '/rest/auth/ping'], ['GET', `/rest/chatt/room/${uid}`], ['GET', `/rest/chatt/room/${uid}/1`],
        ['GET', `/rest/cache/${uid}/19700101000000`], ['GET', '/rest/chatt/room/savechatlist/1/0/1/50'],
        ['GET', '/rest/group/info/1'], ['GET', '/rest/file/auth'], ['PUT', '/rest/user'], ['PUT', '/rest/user/password'],
        ['POST', '/rest/chatt/room'], ['POST', '/rest/chatt/room/member'], ['DELETE', `/rest/chatt/room/member/${uid}/1/20`],
        ['DELETE', `/rest/auth/${uid}`], ['POST', '/rest/file/chat'], ['POST', '/rest/file']];
    const badHeaders = [
        {},
        { ...session.headers, 'Access-Key': 'not-a-key' },
        { ...session.headers, 'User-Id': '1001' },
        { ...session.headers, 'Client-Id': 'pc1-zzzz' },
        (({ 'Client-Id': _, ...rest }) => rest)(session.headers),
    ];
    for (const headers of badHeaders) {
        for (const [method, p] of paths) {
            const res = await s.api(method, p, { headers, form: method === 'GET' || method === 'DELETE' ? undefined : { userId: uid } });
            assert.equal(res.status, 401, `${method} ${p}`);
            assert.equal(res.json.code, 40100, `${method} ${p}`);
            assert.deepEqual(Object.keys(res.json).sort(), ['code', 'developerMessage', 'message']);
        }
    }
    assert.equal((await session.api('GET', '/rest/auth/ping')).status, 200);
});

test('logout, ended sessions and removed accounts', async () => {
    const a = (await h.login(s, 'user007')).session;
    assert.equal((await a.api('DELETE', `/rest/auth/${a.userId}`)).json.status, 200);
    assert.equal((await a.api('GET', '/rest/auth/ping')).json.code, 40104);

    const b = (await h.login(s, 'user007', h.PASSWORD, { deviceId: 'other' })).session;
    await s.control('POST', '/control/session/end', { accessKey: b.accessKey, code: 40108 });
    assert.equal((await b.api('GET', `/rest/chatt/room/${b.userId}`)).json.code, 40108);

    const c = (await h.login(s, 'user008')).session;
    await s.control('DELETE', '/control/user/1008');
    const res = await c.api('GET', `/rest/cache/${c.userId}/19700101000000`);
    assert.equal(res.json.code, 40108);
    assert.equal((await h.login(s, 'user008')).res.json.code, 40101);
    await assert.rejects(h.sessionMqtt(s, c), 'a removed account cannot reach the broker');
});

test('a refused client version answers 40106 with a link to a downloadable file', async () => {
    const { session } = await h.login(s, 'user009');
    const set = await s.control('POST', '/control/version', { minVersion: 1047 });
    try {
        const ping = await session.api('GET', '/rest/auth/ping');
        assert.equal(ping.json.code, 40106);
        assert.equal(ping.json.link, set.link);
        const loginRes = (await h.login(s, 'user009')).res;
        assert.equal(loginRes.json.code, 40106);
        assert.equal((await session.api('GET', '/rest/auth/ping', { headers: { 'App-Ver': '1047' } })).status, 200);
        const url = new URL(ping.json.link);
        assert.equal(url.hostname, 'localhost');
        const file = await s.api('GET', url.pathname, {});
        assert.equal(file.status, 200);
        assert.ok(file.body.length > 1000);
    } finally {
        await s.control('POST', '/control/version', { minVersion: null });
    }
    assert.equal((await session.api('GET', '/rest/auth/ping')).status, 200);
});

test('password change takes the typed texts', async () => {
    const { session } = await h.login(s, 'user010');
    const put = (o, n, c) => session.api('PUT', '/rest/user/password', { form: { oPasswd: o, nPasswd: n, cPasswd: c } });
    const cases = [
        ['wrong-old', 'NewPassw0rd', 'NewPassw0rd', 40103],
        [h.PASSWORD, 'NewPassw0rd', 'NewPassw0rX', 40003],
        [h.PASSWORD, 'short', 'short', 40004],
        [h.PASSWORD, 'x'.repeat(21), 'x'.repeat(21), 40004],
        [h.PASSWORD, '', '', 40001],
    ];
    for (const [o, n, c, code] of cases) assert.equal((await put(o, n, c)).json.code, code, `${o}/${n}/${c}`);
    assert.equal((await put(h.PASSWORD, '9chars!!A', '9chars!!A')).json.status, 200);
    assert.equal((await h.login(s, 'user010', '9chars!!A')).res.status, 200);
    assert.equal((await h.login(s, 'user010', h.PASSWORD)).res.json.code, 40101);
});
