// Rates and update packages as the client's transfer tests take them: slowed, yet whole.
import assert from 'node:assert/strict';
import { after, afterEach, test } from 'node:test';
import { updatePackage } from '../lib/files.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
after(() => s.stop());
afterEach(async () => {
    await s.control('POST', '/control/rate', { bytesPerSecond: 0 });
    await s.control('POST', '/control/version', { minVersion: null });
});
const me = (await h.login(s, 'user001')).session;

const pieces = async (p) => { const w = h.watch(s, p); return { ...(await w.head), ...(await w.end) }; };

test('a rate on downloads slows files and the package and keeps their length', async () => {
    const direct = await s.api('GET', '/files/seeddoc1.txt');
    await s.control('POST', '/control/rate', { bytesPerSecond: 40000 });
    const file = await pieces('/files/seeddoc1.txt');
    assert.deepEqual([file.status, Number(file.headers['content-length']), file.body, file.got[0].length <= 2000],
        [200, direct.body.length, direct.body, true]);
    await s.control('POST', '/control/rate', { bytesPerSecond: 40000, path: '/download' });
    const name = 'VeltriTalk-Setup-3000.exe';
    const pkg = await pieces(`/download/${name}`);
    assert.deepEqual([Number(pkg.headers['content-length']), pkg.body, pkg.got.length >= 30],
        [updatePackage(name).length, updatePackage(name), true]);
});

test('a rate on uploads reads the body slowly and stores it whole', async () => {
    await s.control('POST', '/control/rate', { bytesPerSecond: 100000, path: '/rest/file/chat' });
    const since = (await s.control('GET', '/control/requests?n=1'))[0].seq;
    const data = Buffer.alloc(30000, 0x5a);
    const { body, contentType } = await h.multipartBody([{ name: 'userId', value: me.userId }, { name: 'contentType', value: '10' },
        { name: 'uploadFileName', value: 'slow.bin' }, { name: 'file', filename: 'slow.bin', value: data }]);
    const res = await s.api('POST', '/rest/file/chat', { body, headers: { ...me.headers, 'Content-Type': contentType } });
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
