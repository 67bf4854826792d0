import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { samplePicture } from '../lib/images.mjs';
import * as h from './helpers.mjs';

let s, me;
before(async () => {
    s = await h.startServer();
    me = (await h.login(s, 'user001')).session;
});
after(async () => { await s.stop(); });

// The client's form: its fields in order, then uploadFileName, then the file part.
const chatParts = (fields, name, data) => [
    ...Object.entries(fields).map(([k, v]) => ({ name: k, value: v })),
    { name: 'uploadFileName', value: name },
    { name: 'file', filename: name, value: data },
];
const post = (p, parts, headers = me.headers) => {
    const { body, contentType } = h.multipartBody(parts);
    return s.api('POST', p, { body, headers: { ...headers, 'Content-Type': contentType } });
};

test('chat picture upload: stored, thumbnail made, keys the client reads; served without headers', async () => {
    const pic = samplePicture(5, 640, 400);
    const res = await post('/rest/file/chat', chatParts({ userId: me.userId, contentType: '20', thumbType: '20', width: 640, height: 400 }, 'photo.png', pic));
    assert.equal(res.status, 200);
    for (const k of ['fileSize', 'webUrl', 'contentType', 'orgFileName', 'width', 'height', 'thumbUrl']) assert.ok(k in res.json, k);
    assert.equal(res.json.fileSize, pic.length);
    assert.equal(res.json.orgFileName, 'photo.png');
    assert.deepEqual([res.json.width, res.json.height], [640, 400]);
    assert.notEqual(res.json.thumbUrl, res.json.webUrl);
    const original = await s.api('GET', res.json.webUrl, {});
    assert.deepEqual(original.body, pic);
    const thumb = await s.api('GET', res.json.thumbUrl, {});
    assert.equal(thumb.headers['content-type'], 'image/png');
    assert.equal(thumb.body.readUInt32BE(16), 200, 'thumbnail width');
    const log = (await s.control('GET', '/control/requests?path=/rest/file/chat&n=1'))[0];
    assert.deepEqual(log.parts, ['userId', 'contentType', 'thumbType', 'width', 'height', 'uploadFileName', 'file']);
    assert.equal(log.form.contentType, '20');
    assert.equal(log.file.size, pic.length);
});

test('chat file upload keeps the sanitised last name component; profile picture upload gives a fileKey', async () => {
    const data = Buffer.from('hello file\n');
    const res = await post('/rest/file/chat', chatParts({ userId: me.userId, contentType: '10', thumbType: '10', width: 0, height: 0 }, '..\\..\\evil/../보고서.txt', data));
    assert.equal(res.status, 200);
    assert.equal(res.json.orgFileName, '보고서.txt');
    assert.match(res.json.webUrl, /^\/files\/[a-z0-9]+\.txt$/);
    assert.equal((await s.api('GET', res.json.webUrl)).body.toString(), 'hello file\n');

    const prof = await post('/rest/file', chatParts({ userId: me.userId, fileKey: '', fileSeq: '0', contentType: '20', thumbType: '40', width: 128, height: 128 }, 'profile.png', samplePicture(9, 128, 128)));
    assert.ok(prof.json.fileKey);
    const upd = await me.api('PUT', '/rest/user', { form: { userId: me.userId, userName: 'Me', chattingAllowYn: 1, tel: '1', telOpenYn: 1, fileKey: prof.json.fileKey } });
    assert.equal(upd.json.thumbUrl, prof.json.thumbUrl);
    assert.equal(upd.json.imageUrl, prof.json.webUrl);
});

test('bad uploads are refused with an error body', async () => {
    const good = { userId: me.userId, contentType: '10', thumbType: '10', width: 0, height: 0 };
    const file = Buffer.from('x');
    const cases = [
        ['no file part', [{ name: 'userId', value: me.userId }, { name: 'uploadFileName', value: 'a' }], 40007],
        ['field after the file', [...chatParts(good, 'a.txt', file), { name: 'late', value: '1' }], 40007],
        ['file part misnamed', [{ name: 'userId', value: me.userId }, { name: 'contentType', value: '10' }, { name: 'uploadFileName', value: 'a' }, { name: 'blob', filename: 'a', value: file }], 40007],
        ['no uploadFileName', [{ name: 'userId', value: me.userId }, { name: 'contentType', value: '10' }, { name: 'file', filename: 'a', value: file }], 40001],
        ['someone else', chatParts({ ...good, userId: 1002 }, 'a.txt', file), 40300],
        ['bad contentType', chatParts({ ...good, contentType: '99' }, 'a.txt', file), 40002],
    ];
    for (const [what, parts, code] of cases) {
        const res = await post('/rest/file/chat', parts);
        assert.equal(res.json?.code, code, what);
    }
    const notMultipart = await me.api('POST', '/rest/file/chat', { form: good });
    assert.equal(notMultipart.json.code, 40007);
    const broken = await s.api('POST', '/rest/file/chat', { body: '--b\r\nContent-Disposition: form-data; name="userId"\r\n\r\n1001\r\n--b\r\nContent-Disposition: form-data; name="file"; filename="a"\r\n\r\nabc',
        headers: { ...me.headers, 'Content-Type': 'multipart/form-data; boundary=b' } });
    assert.equal(broken.json.code, 40007, 'a body that ends inside a part');
    const noBoundary = await s.api('POST', '/rest/file/chat', { body: 'xyz', headers: { ...me.headers, 'Content-Type': 'multipart/form-data' } });
    assert.equal(noBoundary.json.code, 40007);
    const anon = await post('/rest/file/chat', chatParts(good, 'a.txt', file), {});
    assert.equal(anon.json.code, 40100);
});

test('the 50 MiB limit: 52,428,800 bytes pass, one more is refused with 413', async () => {
    const good = { userId: me.userId, contentType: '10', thumbType: '10', width: 0, height: 0 };
    const big = Buffer.alloc(52428800, 0x61);
    const ok = await post('/rest/file/chat', chatParts(good, 'exact.bin', big));
    assert.equal(ok.status, 200);
    assert.equal(ok.json.fileSize, 52428800);
    const over = await post('/rest/file/chat', chatParts(good, 'over.bin', Buffer.concat([big, Buffer.from('b')])));
    assert.equal(over.status, 413);
    assert.equal(over.json.code, 41300);
});

test('downloads: unknown names and path tricks are 404; pictures are generated per user', async () => {
    for (const p of ['/files/nothing.png', '/files/..%2Fstate.json', '/files/%2e%2e', '/pictures/u99999_1_t.png', '/pictures/x.png']) {
        const res = await s.api('GET', p, {});
        assert.equal(res.status, 404, p);
    }
    const a = await s.api('GET', '/pictures/u1002_1_t.png', {});
    const b = await s.api('GET', '/pictures/u1002_1_t.png', {});
    assert.equal(a.status, 200);
    assert.deepEqual(a.body, b.body);
    assert.equal(a.body.readUInt32BE(16), 64);
    assert.equal((await s.api('GET', '/pictures/u1002_1.png', {})).body.readUInt32BE(16), 256);
});

test('the server certificate is checked against DIR/ca.pem for localhost and 127.0.0.1', async () => {
    for (const host of ['localhost', '127.0.0.1']) {
        assert.equal((await s.api('GET', '/pictures/u1001_1_t.png', { host })).status, 200, host);
    }
    await assert.rejects(h.api({ ...s, ca: undefined }, 'GET', '/pictures/u1001_1_t.png'),
        /self-signed|unable to verify|certificate/i, 'without the CA the certificate is not trusted');
});
