import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import { samplePicture } from '../lib/images.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
after(() => s.stop());
const me = (await h.login(s, 'user001')).session;
const good = { userId: me.userId, contentType: '10', thumbType: '10', width: 0, height: 0 };

// The client's form: its fields in order, then uploadFileName, then the file part.
const chatParts = (fields, name, data) => [
    ...Object.entries(fields).map(([k, v]) => ({ name: k, value: v })),
    { name: 'uploadFileName', value: name },
    { name: 'file', filename: name, value: data },
];
const post = async (p, parts, headers = me.headers) => {
    const { body, contentType } = await h.multipartBody(parts);
    return s.api('POST', p, { body, headers: { ...headers, 'Content-Type': contentType } });
};
const pngWidth = (png) => png.readUInt32BE(16);

test('uploads: a chat picture stored with its thumbnail and served without headers, a chat file, a profile picture', async () => {
    const pic = samplePicture(5, 640, 400);
    const res = await post('/rest/file/chat', chatParts({ userId: me.userId, contentType: '20', thumbType: '20', width: 640, height: 400 }, 'photo.png', pic));
    const { fileSize, orgFileName, width, height, webUrl, thumbUrl, contentType } = res.json;
    assert.deepEqual([res.status, fileSize, orgFileName, width, height, typeof contentType], [200, pic.length, 'photo.png', 640, 400, 'string']);
    assert.deepEqual((await s.api('GET', webUrl)).body, pic);
    const thumb = await s.api('GET', thumbUrl);
    assert.deepEqual([thumb.headers['content-type'], pngWidth(thumb.body)], ['image/png', 200]);

    // A file keeps the sanitised last component of its name; a profile picture gives a fileKey.
    const doc = (await post('/rest/file/chat', chatParts(good, '..\\..\\evil/../보고서.txt', Buffer.from('hello file\n')))).json;
    assert.equal(doc.orgFileName, '보고서.txt');
    assert.match(doc.webUrl, /^\/files\/[a-z0-9]+\.txt$/);
    assert.equal((await s.api('GET', doc.webUrl)).body.toString(), 'hello file\n');

    const prof = await post('/rest/file', chatParts({ userId: me.userId, fileKey: '', fileSeq: '0', contentType: '20', thumbType: '40', width: 128, height: 128 }, 'profile.png', samplePicture(9, 128, 128)));
    assert.ok(prof.json.fileKey);
    const upd = await me.api('PUT', '/rest/user', { form: { userId: me.userId, userName: 'Me', chattingAllowYn: 1, tel: '1', telOpenYn: 1, fileKey: prof.json.fileKey } });
    assert.deepEqual([upd.json.thumbUrl, upd.json.imageUrl], [prof.json.thumbUrl, prof.json.webUrl]);
});

test('bad uploads are refused with an error body', async () => {
    const file = Buffer.from('x');
    const field = (name, value) => ({ name, value });
    for (const [what, res, code] of [
        ['field after the file', () => post('/rest/file/chat', [...chatParts(good, 'a.txt', file), field('late', '1')]), 40007],
        ['no uploadFileName', () => post('/rest/file/chat', [field('userId', me.userId), field('contentType', '10'), { name: 'file', filename: 'a', value: file }]), 40001],
        ['someone else', () => post('/rest/file/chat', chatParts({ ...good, userId: 1002 }, 'a.txt', file)), 40300],
        ['no keys', () => post('/rest/file/chat', chatParts(good, 'a.txt', file), {}), 40100],
    ]) assert.equal((await res()).json?.code, code, what);
});

test('downloads: unknown names and path tricks are 404; pictures are generated per user', async () => {
    for (const p of ['/files/nothing.png', '/files/..%2Fstate.json', '/files/%2e%2e', '/pictures/u99999_1_t.png', '/pictures/x.png']) assert.equal((await s.api('GET', p)).status, 404, p);
    const [a, b] = [await s.api('GET', '/pictures/u1002_1_t.png'), await s.api('GET', '/pictures/u1002_1_t.png', { host: '127.0.0.1' })];
    assert.deepEqual([a.status, pngWidth(a.body), b.body], [200, 64, a.body]);
    assert.equal(pngWidth((await s.api('GET', '/pictures/u1002_1.png')).body), 256);
});
