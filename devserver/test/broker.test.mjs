// The broker's own checks of what a client sends: the client's tests see its publishes as accepted
// only because these refusals hold.
import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import { ContentType, decode, encodeChat, encodePush, makeMessageId } from '../lib/protocol.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
const open = [];
after(() => { open.forEach((c) => c.end(true)); return s.stop(); });

const session = async (account) => (await h.login(s, account)).session;
const connect = async (sess, opts) => { const c = await h.sessionMqtt(s, sess, opts); open.push(c); return c; };
const chat = (sess, text, { contentType = ContentType.TEXT } = {}) =>
    encodeChat({ time: 1, contentType, senderId: sess.userId, messageId: makeMessageId(sess.clientId), contents: text });
const roomOf = (userIds) => s.control('POST', '/control/room', { userId: userIds[0], members: userIds.slice(1), roomType: 30, notify: false });

test('broker login: client id, user id and access key of a live session; MQTT 3.1 and 3.1.1', async () => {
    const a = await session('user011');
    for (const protocolVersion of [4, 3]) (await connect(a, { protocolVersion })).end(true);
    for (const opts of [{ password: 'wrong' }, { username: '1001' }, { clientId: 'pc999-unknown' }, { password: undefined }]) await assert.rejects(h.sessionMqtt(s, a, opts), /Bad username or password|Not authorized|closed/, JSON.stringify(opts));
    await s.control('POST', '/control/session/end', { accessKey: a.accessKey });
    await assert.rejects(h.sessionMqtt(s, a), /Not authorized|closed/);
});

test('publishing outside one\'s rooms, in another\'s name or a server type is dropped; the connection stays', async () => {
    const a = await session('user012'), b = await session('user013');
    const room = await roomOf([a.userId, b.userId]);
    const mine = `chat/${room.chattRoomId}`;
    const ca = await connect(a), cb = await connect(b);
    const theirs = await roomOf([b.userId, 1014]);
    for (const [topic, p] of [
        [`chat/${theirs.chattRoomId}`, chat(a, 'intruder')],
        [mine, encodeChat({ time: 1, contentType: 1, senderId: b.userId, messageId: 'x-y-1', contents: 'forged' })],
        [mine, encodePush({ time: 1, senderId: a.userId, contents: '{"type":90}' })],
        [mine, chat(a, 'bad content type', { contentType: 9 })],
        [mine, Buffer.from('short')],
        ['other/topic', chat(a, 'elsewhere')],
    ]) await h.publish(ca, topic, p);
    // The sentinel: published last on the same connection.
    await h.publish(ca, mine, chat(a, 'fine'));
    await h.waitFor(() => cb.received.length > 0, { what: 'the sentinel' });
    assert.deepEqual(cb.received.map((m) => decode(m.payload).contents), ['fine'], 'nothing else reached the other member');
    assert.equal((await s.control('GET', `/control/history/${theirs.chattRoomId}`)).length, 0);
    await assert.rejects(ca.subscribeAsync(`chat/${theirs.chattRoomId}`, { qos: 1 }), (e) => e.packet?.granted?.[0] === 128);
});
