// The broker's refusals, without which a client's publishes would pass whatever they held.
import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import { ContentType, MsgType, decode, encodeChat, encodeEvent, encodePush, makeMessageId } from '../lib/protocol.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
const open = [];
after(() => { open.forEach((c) => c.end(true)); return s.stop(); });

const connect = async (sess, opts) => { const c = await h.sessionMqtt(s, sess, opts); open.push(c); return c; };
const chat = (sess, text, { contentType = ContentType.TEXT } = {}) =>
    encodeChat({ time: 1, contentType, senderId: sess.userId, messageId: makeMessageId(sess.clientId), contents: text });
const roomOf = (userIds) => s.control('POST', '/control/room', { userId: userIds[0], members: userIds.slice(1), roomType: 30, notify: false });

test('broker login: client id, user id and access key of a live session', async () => {
    const a = await h.login(s, 'user011');
    (await connect(a)).end(true);
    for (const opts of [{ password: 'wrong' }, { username: '1001' }, { clientId: 'pc999-unknown' }, { password: undefined }]) await assert.rejects(h.sessionMqtt(s, a, opts), /Bad username or password|Not authorized|closed/, JSON.stringify(opts));
    await s.control('POST', '/control/session/end', { accessKey: a.accessKey });
    await assert.rejects(h.sessionMqtt(s, a), /Not authorized|closed/);
});

test('publishes outside one\'s rooms, in another\'s name or of a server type are dropped and recorded so; the connection stays', async () => {
    const a = await h.login(s, 'user012'), b = await h.login(s, 'user013');
    const room = await roomOf([a.userId, b.userId]);
    const mine = `chat/${room.chattRoomId}`;
    const ca = await connect(a), cb = await connect(b);
    const theirs = `chat/${(await roomOf([b.userId, 1014])).chattRoomId}`;
    const since = (await s.control('GET', '/control/published?n=1'))[0]?.seq ?? 0;
    const read = JSON.stringify({ clientId: a.clientId, readTime: 5 });
    const C = MsgType.CHAT;
    const sent = [
        [theirs, chat(a, 'intruder'), C, a.userId, 'intruder', true],
        [mine, encodeChat({ time: 1, contentType: 1, senderId: b.userId, messageId: 'x-y-1', contents: 'forged' }), C, b.userId, 'forged', true],
        [mine, encodePush({ time: 1, senderId: a.userId, contents: '{"type":90}' }), MsgType.PUSH, a.userId, '{"type":90}', true],
        [mine, chat(a, 'bad content type', { contentType: 9 }), C, a.userId, 'bad content type', true],
        [mine, Buffer.from('short'), null, null, null, true],
        ['other/topic', chat(a, 'elsewhere'), C, a.userId, 'elsewhere', true],
        [mine, encodeEvent({ time: 1, type: MsgType.ENTERREAD, senderId: a.userId, messageId: makeMessageId(a.clientId), contents: read }),
            MsgType.ENTERREAD, a.userId, read, false],
        // The sentinel: published last on the same connection.
        [mine, chat(a, 'fine'), C, a.userId, 'fine', false],
    ];
    for (const [topic, p] of sent.slice(0, 4)) await h.publish(ca, topic, p);
    // The server's own chats are not recorded.
    await s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: a.userId, text: 'from the server' });
    for (const [topic, p] of sent.slice(4)) await h.publish(ca, topic, p);
    await h.waitFor(() => cb.received.some((m) => decode(m.payload)?.contents === 'fine'), { what: 'the sentinel' });
    const record = await s.control('GET', `/control/published?since=${since}`);
    assert.deepEqual({
        heard: cb.received.map((m) => decode(m.payload).contents),
        record: record.map((e) => [e.topic, e.clientId, e.type, e.senderId, e.contents, e.dropped !== null]),
        later: (await s.control('GET', `/control/published?since=${record[6].seq}`)).map((e) => e.contents),
    }, {
        heard: ['from the server', read, 'fine'],
        record: sent.map(([topic, , ...rest]) => [topic, a.clientId, ...rest]),
        later: ['fine'],
    });
    assert.equal((await s.control('GET', `/control/history/${theirs.split('/')[1]}`)).length, 0);
    await assert.rejects(ca.subscribeAsync(theirs, { qos: 1 }), (e) => e.packet?.granted?.[0] === 128);
});
