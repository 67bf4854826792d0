// The upload form's checks: the client's uploads pass only because these refusals hold.
import assert from 'node:assert/strict';
import { after, test } from 'node:test';
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
const post = async (parts, headers = me.headers) => {
    const { body, contentType } = await h.multipartBody(parts);
    return s.api('POST', '/rest/file/chat', { body, headers: { ...headers, 'Content-Type': contentType } });
};

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
