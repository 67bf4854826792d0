import assert from 'node:assert/strict';
import { after, afterEach, test } from 'node:test';
import { updatePackage } from '../lib/files.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
after(() => s.stop());
afterEach(() => s.control('POST', '/control/fail', { mode: 'off' }));
const me = (await h.login(s, 'user001')).session;

const watch = (p) => h.watch(s, p);

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
