// What the client's tests rely on the REST side to check.
import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import { updatePackage } from '../lib/files.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
after(() => s.stop());
const me = await h.login(s, 'user001');
const ERROR_KEYS = ['code', 'developerMessage', 'message'];
const good = { userId: me.userId, contentType: '10', thumbType: '10', width: 0, height: 0 };
// The client's form: its fields in order, then uploadFileName, then the file part.
const chatParts = (fields, name, data) => [
    ...Object.entries(fields).map(([k, v]) => ({ name: k, value: v })),
    { name: 'uploadFileName', value: name },
    { name: 'file', filename: name, value: data },
];
// A part with a filename is a file.
const post = async (parts) => {
    const form = new FormData();
    for (const p of parts) p.filename === undefined ? form.append(p.name, String(p.value)) : form.append(p.name, new Blob([p.value]), p.filename);
    const encoded = new Response(form);
    return me.api('POST', '/rest/file/chat', { body: Buffer.from(await encoded.arrayBuffer()), headers: { 'Content-Type': encoded.headers.get('content-type') } });
};

// The client's chunked download row depends on it and passes without it.
test('a chunked update package goes out without a length', async () => {
    const name = 'VeltriTalk-Setup-2001.exe';
    await s.control('POST', '/control/version', { minVersion: 2001, size: 200000, chunked: true });
    const res = await s.api('GET', `/download/${name}`);
    await s.control('POST', '/control/version', { minVersion: null });
    assert.deepEqual([res.headers['content-length'], res.headers['transfer-encoding'], res.body],
        [undefined, 'chunked', updatePackage(name, 200000)]);
});

test('bad uploads are refused with an error body', async () => {
    const file = Buffer.from('x');
    const field = (name, value) => ({ name, value });
    for (const [what, res, code] of [
        ['the client\'s form', () => post(chatParts(good, 'a.txt', file)), undefined],
        ['field after the file', () => post([...chatParts(good, 'a.txt', file), field('late', '1')]), 40007],
        ['no uploadFileName', () => post([field('userId', me.userId), field('contentType', '10'), { name: 'file', filename: 'a', value: file }]), 40001],
        ['someone else', () => post(chatParts({ ...good, userId: 1002 }, 'a.txt', file)), 40300],
    ]) assert.equal((await res()).json?.code, code, what);
});

test('login: a client id that message ids can carry, only the digest accepted; a new password of nine characters taken', async () => {
    const session = await h.login(s, 'user002');
    assert.equal(session.clientId.split('-').length, 2, 'one hyphen: message ids carry their time as third field');
    assert.ok(session.clientId.length <= 23, 'MQTT 3.1 client id limit');
    for (const passwd of [h.digest('wrong'), h.PASSWORD]) {
        const refused = await s.api('POST', '/rest/auth', { form: { loginAccnt: 'user003', passwd, deviceModel: 'PC', forceYn: 0 } });
        assert.deepEqual([refused.status >= 400, refused.json.code, Object.keys(refused.json).sort()], [true, 40101, ERROR_KEYS], passwd);
    }
    const changed = await session.api('PUT', '/rest/user/password', { form: { oPasswd: h.PASSWORD, nPasswd: '9chars!!A', cPasswd: '9chars!!A' } });
    assert.equal(changed.json.status, 200);
});

test('a login replayed after its session ended gets the keys set for it, never a live session\'s', async () => {
    const session = await h.login(s, 'user007');
    const keys = { userId: session.userId, accessKey: session.accessKey, clientId: session.clientId };
    await assert.rejects(s.control('POST', '/control/session/next', keys), /400/);
    await s.control('POST', '/control/session/end', { accessKey: session.accessKey });
    await s.control('POST', '/control/session/next', keys);
    const again = await h.login(s, 'user007');
    assert.deepEqual([again.accessKey, again.clientId], [session.accessKey, session.clientId]);
    assert.equal((await session.api('GET', `/rest/chatt/room/${session.userId}`)).status, 200);
});

test('wrong or missing keys never get data', async () => {
    const session = await h.login(s, 'user006');
    const uid = session.userId;
    const paths = [['GET', '/rest/auth/ping'], ['GET', `/rest/chatt/room/${uid}`], ['GET', `/rest/chatt/room/${uid}/1`],
        ['GET', `/rest/cache/${uid}/19700101000000`], ['GET', '/rest/chatt/room/savechatlist/1/0/1/50'],
        ['GET', '/rest/group/info/1'], ['GET', '/rest/file/auth'], ['PUT', '/rest/user'], ['PUT', '/rest/user/password'],
        ['POST', '/rest/chatt/room'], ['POST', '/rest/chatt/room/member'], ['DELETE', `/rest/chatt/room/member/${uid}/1/20`],
        ['DELETE', `/rest/auth/${uid}`], ['POST', '/rest/file/chat'], ['POST', '/rest/file']];
    const { 'Client-Id': _, ...noClientId } = session.headers;
    for (const headers of [{}, { ...session.headers, 'Access-Key': 'not-a-key' }, { ...session.headers, 'User-Id': '1001' },
        { ...session.headers, 'Client-Id': 'pc1-zzzz' }, noClientId]) {
        for (const [method, p] of paths) {
            const res = await s.api(method, p, { headers, form: method === 'GET' || method === 'DELETE' ? undefined : { userId: uid } });
            assert.deepEqual([res.status, res.json.code, Object.keys(res.json).sort()], [401, 40100, ERROR_KEYS], `${method} ${p}`);
        }
    }
});
