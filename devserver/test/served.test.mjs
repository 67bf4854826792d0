// What the client's tests rely on the REST side to check, and its faults, rates and packages.
import assert from 'node:assert/strict';
import { after, afterEach, test } from 'node:test';
import { updatePackage } from '../lib/files.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
after(() => s.stop());
afterEach(async () => {
    await s.control('POST', '/control/fail', { mode: 'off' });
    await s.control('POST', '/control/rate', { bytesPerSecond: 0 });
    await s.control('POST', '/control/version', { minVersion: null });
});
const me = (await h.login(s, 'user001')).session;
const ERROR_KEYS = ['code', 'developerMessage', 'message'];
const watch = (p) => h.watch(s, p);
const pieces = async (p) => { const w = watch(p); return { ...(await w.head), ...(await w.end) }; };
const good = { userId: me.userId, contentType: '10', thumbType: '10', width: 0, height: 0 };
// The client's form: its fields in order, then uploadFileName, then the file part.
const chatParts = (fields, name, data) => [
    ...Object.entries(fields).map(([k, v]) => ({ name: k, value: v })),
    { name: 'uploadFileName', value: name },
    { name: 'file', filename: name, value: data },
];
const post = async (parts, headers = me.headers) => {
    const { body, contentType } = await h.multipartBody(parts);
    return s.api('POST', '/rest/file/chat', { body, headers: { ...headers, 'Content-Type': contentType } });
};

test('an error fault applies to every served path, counted, and the record covers those paths', async () => {
    const since = (await s.control('GET', '/control/requests?n=1'))[0].seq;
    const paths = ['/files/seeddoc1.txt', '/pictures/u1002_1_t.png', '/download/VeltriTalk-Setup-1047.exe', '/rest/auth/ping'];
    for (const p of paths) {
        await s.control('POST', '/control/fail', { mode: 'error', status: 503, code: 50300, path: p.split('/').slice(0, 2).join('/'), count: 1 });
        const failed = await me.api('GET', p);
        const next = await me.api('GET', p);
        assert.deepEqual([failed.status, failed.json?.code, next.status], [503, 50300, 200], p);
    }
    const record = (await s.control('GET', `/control/requests?n=100&since=${since}`)).map((e) => [e.method, e.path, e.status]);
    assert.deepEqual(record, paths.flatMap((p) => [['GET', p, 503], ['GET', p, 200]]));
});

test('a body fault answers the raw text exactly, with the status and content type given', async () => {
    const ping = '/rest/auth/ping';
    for (const [what, rule, get, expected] of [
        ['empty', { raw: '' }, ping, [200, 'application/json', '']],
        ['HTML page', { raw: '<html><body>Gateway</body></html>', type: 'text/html', status: 502 }, ping,
            [502, 'text/html', '<html><body>Gateway</body></html>']],
        ['on a picture', { raw: 'not a png', type: 'image/png', path: '/pictures' }, '/pictures/u1003_1.png', [200, 'image/png', 'not a png']],
    ]) {
        await s.control('POST', '/control/fail', { mode: 'body', path: ping, ...rule });
        const res = await me.api('GET', get);
        assert.deepEqual([res.status, res.headers['content-type'].split(';')[0], res.body.toString('utf8')], expected, what);
    }
});

test('a stall sends status, headers and the first bytes, then nothing until cleared; the connection then closes', async () => {
    const name = 'VeltriTalk-Setup-2000.exe';
    const full = updatePackage(name);
    await s.control('POST', '/control/fail', { mode: 'stall', path: '/download', bytes: 1000 });
    const w = watch(`/download/${name}`);
    const head = await w.head;
    assert.deepEqual([head.status, Number(head.headers['content-length'])], [200, full.length]);
    await h.waitFor(() => w.bytes() === 1000, { what: 'the first bytes' });
    // The record shows the stalled request before it ends: a sentinel that the server is done
    // sending what it will send until the fault is cleared.
    await h.waitFor(async () => (await s.control('GET', '/control/requests?path=/download')).length > 0, { what: 'record' });
    await s.control('POST', '/control/fail', { mode: 'off' });
    const end = await w.end;
    assert.deepEqual([end.how, end.body], ['close', full.subarray(0, 1000)]);
});

test('a hang keeps the request unanswered until cleared, then answers 503', async () => {
    await s.control('POST', '/control/fail', { mode: 'hang', path: '/pictures' });
    const hung = me.api('GET', '/pictures/u1004_1.png');
    await h.waitFor(async () => (await s.control('GET', '/control/requests?path=/pictures/u1004')).length === 1, { what: 'hung request' });
    await s.control('POST', '/control/fail', { mode: 'off' });
    const res = await hung;
    assert.deepEqual([res.status, res.json.code], [503, 50300]);
});

test('a rate on downloads slows files and the package and keeps their length', async () => {
    const direct = await s.api('GET', '/files/seeddoc1.txt');
    await s.control('POST', '/control/rate', { bytesPerSecond: 40000 });
    const file = await pieces('/files/seeddoc1.txt');
    assert.deepEqual([file.status, Number(file.headers['content-length']), file.body, file.got[0].length <= 2000],
        [200, direct.body.length, direct.body, true]);
    await s.control('POST', '/control/rate', { bytesPerSecond: 40000, path: '/download' });
    const name = 'VeltriTalk-Setup-3000.exe';
    const pkg = await pieces(`/download/${name}`);
    assert.deepEqual([Number(pkg.headers['content-length']), pkg.body, pkg.got[0].length <= 2000],
        [updatePackage(name).length, updatePackage(name), true]);
});

test('a rate on uploads reads the body slowly and stores it whole', async () => {
    await s.control('POST', '/control/rate', { bytesPerSecond: 100000, path: '/rest/file/chat' });
    const since = (await s.control('GET', '/control/requests?n=1'))[0].seq;
    const data = Buffer.alloc(30000, 0x5a);
    const res = await post(chatParts(good, 'slow.bin', data));
    const stored = await s.api('GET', res.json.webUrl);
    const [entry] = await s.control('GET', `/control/requests?since=${since}&path=/rest/file/chat`);
    assert.deepEqual([res.status, stored.body, entry.rate, entry.file.size], [200, data, 100000, 30000]);
});

test('the update package: chosen size, chunked without a length; an empty link refuses without one', async () => {
    const name = 'VeltriTalk-Setup-2001.exe';
    const v = await s.control('POST', '/control/version', { minVersion: 2001, size: 300000 });
    const sized = await pieces(`/download/${name}`);
    assert.deepEqual([v.link, Number(sized.headers['content-length']), sized.body],
        [`https://localhost:${s.rest}/download/${name}`, 300000, updatePackage(name, 300000)]);
    await s.control('POST', '/control/version', { minVersion: 2001, size: 200000, chunked: true, bytesPerSecond: 400000 });
    const chunked = await pieces(`/download/${name}`);
    assert.deepEqual([chunked.headers['content-length'], chunked.headers['transfer-encoding'], chunked.body],
        [undefined, 'chunked', updatePackage(name, 200000)]);
    await s.control('POST', '/control/version', { minVersion: 2001, link: '' });
    const refused = await h.login(s, 'user002');
    const ping = await me.api('GET', '/rest/auth/ping');
    assert.deepEqual([refused.res.status, refused.res.json.code, refused.res.json.link, ping.json.link], [426, 40106, '', '']);
});

test('bad uploads are refused with an error body', async () => {
    const file = Buffer.from('x');
    const field = (name, value) => ({ name, value });
    for (const [what, res, code] of [
        ['the client\'s form', () => post(chatParts(good, 'a.txt', file)), undefined],
        ['field after the file', () => post([...chatParts(good, 'a.txt', file), field('late', '1')]), 40007],
        ['no uploadFileName', () => post([field('userId', me.userId), field('contentType', '10'), { name: 'file', filename: 'a', value: file }]), 40001],
        ['someone else', () => post(chatParts({ ...good, userId: 1002 }, 'a.txt', file)), 40300],
        ['no keys', () => post(chatParts(good, 'a.txt', file), {}), 40100],
    ]) assert.equal((await res()).json?.code, code, what);
});

test('login: a client id that message ids can carry, only the digest accepted', async () => {
    const { session } = await h.login(s, 'user002');
    assert.equal(session.clientId.split('-').length, 2, 'one hyphen: message ids carry their time as third field');
    assert.ok(session.clientId.length <= 23, 'MQTT 3.1 client id limit');
    for (const passwd of [h.digest('wrong'), h.PASSWORD]) {
        const refused = await s.api('POST', '/rest/auth', { form: { loginAccnt: 'user003', passwd, deviceModel: 'PC', forceYn: 0 } });
        assert.deepEqual([refused.status >= 400, refused.json.code, Object.keys(refused.json).sort()], [true, 40101, ERROR_KEYS], passwd);
    }
});

test('wrong or missing keys never get data', async () => {
    const { session } = await h.login(s, 'user006');
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

test('password change takes the old password and the new one', async () => {
    const { session } = await h.login(s, 'user010');
    const put = (o, n) => session.api('PUT', '/rest/user/password', { form: { oPasswd: o, nPasswd: n, cPasswd: n } });
    assert.equal((await put('wrong-old', 'NewPassw0rd')).json.code, 40103);
    assert.equal((await put(h.PASSWORD, '9chars!!A')).json.status, 200);
    assert.deepEqual([(await h.login(s, 'user010', '9chars!!A')).res.status, (await h.login(s, 'user010', h.PASSWORD)).res.json.code], [200, 40101]);
});
